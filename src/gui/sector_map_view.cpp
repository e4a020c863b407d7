// Drawing the sector map: one raised tile made beforehand per kind of cell, copied into the visible part of
// the grid with the cell's text centred on it; the map is repainted when the disk model it watches changes.
#include "gui/sector_map_view.h"
#include "disk/zx_disk.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace tarvex::gui {

namespace {

QColor ToColor(Rgb c) { return QColor(c.r, c.g, c.b); }

Rgb ToRgb(const QColor& c) {
    return {static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())};
}

// A tile: filled, with a white line along the left and top edges and a black one along the right and bottom.
QPixmap RaisedTile(int width, int height, const QColor& fill) {
    QPixmap tile(width, height);
    tile.fill(fill);
    QPainter p(&tile);
    p.setPen(Qt::white);
    p.drawLine(0, 0, width - 1, 0);
    p.drawLine(0, 0, 0, height - 1);
    p.setPen(Qt::black);
    p.drawLine(width - 1, 0, width - 1, height - 1);
    p.drawLine(0, height - 1, width - 1, height - 1);
    return tile;
}

}  // namespace

SectorMapView::SectorMapView(TZX_Disk& disk, QWidget* parent) : QAbstractScrollArea(parent), disk_(disk) {
    font_ = QFont(QString::fromLatin1(kMapFontFamily));
    font_.setPointSize(kMapFontPoints);
    font_.setStyleHint(QFont::TypeWriter);
    // The map's background is the button face, like its empty tiles.
    viewport()->setBackgroundRole(QPalette::Button);
    viewport()->setAutoFillBackground(true);
    BuildTiles();
    disk_.SetObserver(this);
    LayOutRows();
}

SectorMapView::~SectorMapView() { disk_.SetObserver(nullptr); }

void SectorMapView::BuildTiles() {
    const Rgb face = ToRgb(palette().color(QPalette::Button));
    for (TileKind kind :
         {TileKind::kHeaderRaw, TileKind::kHeaderSectors, TileKind::kHeaderAbsent, TileKind::kSectorGood,
          TileKind::kSectorCrcError, TileKind::kSectorNoData, TileKind::kSectorEmpty})
        tiles_[kind] = RaisedTile(TileWidth(kind), kMapRowHeight, ToColor(TileFill(kind, face)));
}

void SectorMapView::SetShowDisabledSectors(bool show) {
    disk_.ShowDisabledSectors = show;
    LayOutRows();
}

void SectorMapView::DiskCleared() {
    verticalScrollBar()->setValue(0);
    LayOutRows();
}

void SectorMapView::Refresh() { LayOutRows(); }

int SectorMapView::ColumnLeft(int column) {
    return column == 0 ? 0 : kHeaderColumnWidth + (column - 1) * kSectorColumnWidth;
}

int SectorMapView::ContentWidth() const { return ColumnLeft(sectorColumns_ + 1); }

QSize SectorMapView::ContentSize() const { return {ContentWidth(), static_cast<int>(rows_.size()) * kMapRowHeight}; }

std::pair<int, int> SectorMapView::CellAt(QPoint p) const {
    const int x = p.x() + horizontalScrollBar()->value();
    const int y = p.y() + verticalScrollBar()->value();
    if (x < 0 || y < 0 || x >= ContentSize().width() || y >= ContentSize().height()) return {-1, -1};
    const int column = x < kHeaderColumnWidth ? 0 : 1 + (x - kHeaderColumnWidth) / kSectorColumnWidth;
    return {column, rows_[static_cast<size_t>(y / kMapRowHeight)]};
}

void SectorMapView::LayOutRows() {
    rows_ = MapTracks(disk_);
    sectorColumns_ = MapSectorColumns(disk_);
    const QSize content = ContentSize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setSingleStep(kSectorColumnWidth);
    verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(kMapRowHeight);
    viewport()->update();
}

void SectorMapView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    LayOutRows();
}

void SectorMapView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.setFont(font_);
    const QFontMetrics metrics(font_);
    const int dx = horizontalScrollBar()->value();
    const int dy = verticalScrollBar()->value();
    const QRect dirty = event->rect().translated(dx, dy);

    const int firstRow = std::max(0, dirty.top() / kMapRowHeight);
    const int lastRow = std::min(static_cast<int>(rows_.size()) - 1, dirty.bottom() / kMapRowHeight);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int top = row * kMapRowHeight;
        const int track = rows_[static_cast<size_t>(row)];
        for (int column = 0; column <= sectorColumns_; ++column) {
            const int left = ColumnLeft(column);
            const int width = MapColumnWidth(column);
            if (left > dirty.right() || left + width <= dirty.left()) continue;
            const MapCell cell = SectorMapCell(disk_, column, track);
            if (cell.tile == TileKind::kNone) continue;
            painter.drawPixmap(left - dx, top - dy, tiles_.at(cell.tile));
            if (cell.text.empty()) continue;
            const QString text = QString::fromStdString(cell.text);
            const int x = left + CentredOffset(width, metrics.horizontalAdvance(text));
            const int y = top + CentredOffset(kMapRowHeight, metrics.height());
            painter.setPen(ToColor(cell.textColour));
            painter.drawText(x - dx, y - dy + metrics.ascent(), text);
        }
    }
}

}  // namespace tarvex::gui
