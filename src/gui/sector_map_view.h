// The sector map of a disk model drawn as a scrollable grid of raised tiles: one row per track the map shows,
// a header tile and one tile per sector slot. What each cell shows, and which tracks have a row, comes from
// disk/sector_map.h.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QPixmap>
#include <map>
#include <vector>

#include "disk/sector_map.h"
#include "disk/zx_disk.h"

namespace tarvex::gui {

class SectorMapView : public QAbstractScrollArea, public DiskObserver {
    Q_OBJECT
public:
    explicit SectorMapView(TZX_Disk& disk, QWidget* parent = nullptr);
    ~SectorMapView() override;

    bool ShowDisabledSectors() const { return disk_.ShowDisabledSectors; }
    void SetShowDisabledSectors(bool show);

    // The disk was cleared: back to the first row, repaint.
    void DiskCleared() override;
    // The disk was filled: lay the rows out again, repaint.
    void Refresh();

    // The column and track under a point of the viewport; column -1 when there is none.
    std::pair<int, int> CellAt(QPoint viewportPoint) const;
    // Column c's left edge in content coordinates.
    static int ColumnLeft(int column);
    // The header and the slot columns the disk needs, one row per track shown.
    QSize ContentSize() const;
    int ContentWidth() const;
    // The tracks with a row, top to bottom.
    const std::vector<int>& Rows() const { return rows_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildTiles();
    void LayOutRows();

    TZX_Disk& disk_;
    QFont font_;
    std::map<TileKind, QPixmap> tiles_;
    std::vector<int> rows_;
    int sectorColumns_ = kClassicMapSectorColumns;
};

}  // namespace tarvex::gui
