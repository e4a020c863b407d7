// The viewer's dialog: a line naming the image, its format and size (or why it could not be read), its sector
// map, and beside it a pane with the reader's message, the image's comment and the TR-DOS catalogue laid out
// one fact a line, the pane as wide as the catalogue needs.
#include "gui/image_viewer.h"

#include <QFontDatabase>
#include <QTextDocument>
#include <algorithm>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "formats/writer_losses.h"
#include "gui/gui_text.h"
#include "trdos/trdos_area.h"

namespace tarvex::gui {

namespace {

constexpr int kDefaultWidth = 1200, kDefaultHeight = 640;

// Where the catalogue's table of files starts on its lines: its header shares a line with the "catalogue:"
// label, and the file lines are indented to match.
constexpr qsizetype kTableColumn = 13;
const QString kTableIndent = "  ";

// The table moves left under its label, which gets a line of its own.
QString TableUnderItsLabel(const QString& text) {
    QStringList lines = text.split(u'\n');
    const auto header = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
        return line.size() > kTableColumn && line.mid(kTableColumn).startsWith("  #");
    });
    if (header == lines.end()) return text;
    const QString blank(kTableColumn, u' ');
    for (auto line = header + 1; line != lines.end() && line->startsWith(blank); ++line)
        *line = kTableIndent + line->mid(kTableColumn);
    const QString label = header->left(kTableColumn).trimmed();
    *header = kTableIndent + header->mid(kTableColumn);
    lines.insert(header, kTableIndent + label);
    return lines.join(u'\n');
}

// The catalogue's first line runs all its facts together; here each fact after the label gets its own line
// and the table of files moves under its label, so that the pane beside the sector map stays narrow enough
// to need no sideways scrolling.
QString CatalogueText(const std::string& catalogue) {
    QString text = QString::fromStdString(catalogue);
    const QString afterLabel = "\", ";
    const qsizetype labelEnd = text.indexOf(afterLabel);
    const qsizetype lineEnd = text.indexOf(u'\n');
    if (labelEnd < 0 || lineEnd < labelEnd) return TableUnderItsLabel(text);
    QString facts = text.mid(labelEnd + 1, lineEnd - labelEnd - 1);
    facts.replace(", ", "\n  ");
    return TableUnderItsLabel(text.left(labelEnd + 1) + facts + text.mid(lineEnd));
}

// Wide enough to show the longest line of text in the pane without a horizontal scroll bar.
int TextPaneWidth(const QPlainTextEdit& pane, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = std::max(widest, pane.fontMetrics().horizontalAdvance(line));
    const int margins = 2 * static_cast<int>(pane.document()->documentMargin()) + 2 * pane.frameWidth();
    return widest + margins + pane.verticalScrollBar()->sizeHint().width() + pane.fontMetrics().averageCharWidth();
}

int CountSectors(TZX_Disk& disk) {
    int sectors = 0;
    for (unsigned k = 0; k < kMaxTracks; ++k)
        if (TTrack* t = disk.Track(k); t->Used) sectors += t->CountSectors();
    return sectors;
}
}  // namespace

QString InspectorSummary(TZX_Disk& disk, const std::string& path, bool loaded, const std::string& message,
                         int format) {
    QString text = Q(path) + "\n";
    if (!loaded) return text + QTr("Error loading image: %1").arg(Q(message));
    if (format >= 0 && format < kFormatCount) text += QString::fromLatin1(Formats()[format].name) + ", ";
    return text + QTr("tracks: %1, sectors: %2").arg(disk.CountTracks()).arg(CountSectors(disk));
}

QString InspectorDetails(TZX_Disk& disk, bool loaded, const std::string& message) {
    QStringList parts;
    if (!loaded) {
        parts << QTr("Message:") + "\n" + Q(message);
        return parts.join("\n\n");
    }
    if (!disk.StatusMessage.empty()) parts << QTr("Message:") + "\n" + Q(disk.StatusMessage);
    if (!disk.Comment.empty()) {
        QStringList lines;
        for (const std::string& line : disk.Comment) lines << Q(line);
        parts << QTr("Comment:") + "\n" + lines.join("\n");
    }
    if (const std::string beyond = DiskFeatures(disk).ItemsText(); !beyond.empty())
        parts << QTr("Beyond plain sectors: %1").arg(QString::fromStdString(beyond));
    if (const std::string catalogue = DescribeTrdosSystemArea(disk); !catalogue.empty())
        parts << QTr("TR-DOS catalogue:") + "\n" + CatalogueText(catalogue);
    if (parts.isEmpty()) parts << QTr("No TR-DOS catalogue, comment or message.");
    return parts.join("\n\n");
}

InspectorDialog::InspectorDialog(const std::string& path, QWidget* parent)
    : QDialog(parent), disk_(std::make_unique<TZX_Disk>()) {
    setWindowTitle(QTr("Image view - %1").arg(Q(FileNamePart(path))));

    disk_->StatusMessage.clear();
    int format = -1;
    const Status read = ReadImageFile(*disk_, path, std::nullopt, &format);
    loaded_ = read.ok();
    std::string message = read.reason();
    if (!loaded_ && message.empty()) message = Tr("File not found");

    summary_ = new QLabel(InspectorSummary(*disk_, path, loaded_, message, format), this);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    showDisabled_ = new QCheckBox(QTr("Show missing tracks and empty sectors"), this);
    showDisabled_->setObjectName("ShowDisabledSectors");
    map_ = new SectorMapView(*disk_, this);
    // A disk with more sectors a track than the classic twenty scrolls sideways rather than widen the window.
    map_->setMinimumWidth(SectorMapView::ColumnLeft(kClassicMapSectorColumns + 1) +
                          map_->verticalScrollBar()->sizeHint().width() +
                          2 * map_->frameWidth());
    details_ = new QPlainTextEdit(InspectorDetails(*disk_, loaded_, message), this);
    details_->setReadOnly(true);
    details_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    details_->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(showDisabled_, &QCheckBox::toggled, map_, &SectorMapView::SetShowDisabledSectors);

    auto* body = new QHBoxLayout;
    body->addWidget(map_, 3);
    body->addWidget(details_, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(showDisabled_);
    layout->addLayout(body, 1);
    // The catalogue decides the pane's width; a long message or comment line may still scroll.
    details_->setMinimumWidth(TextPaneWidth(*details_, CatalogueText(DescribeTrdosSystemArea(*disk_))));
    resize(std::max(kDefaultWidth, minimumSizeHint().width()), kDefaultHeight);
}

InspectorDialog::~InspectorDialog() {
    delete map_;  // it watches the disk, which goes before the dialog's children do
}

}  // namespace tarvex::gui
