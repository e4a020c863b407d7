// The sector map of a disk model drawn as a scrollable grid of raised tiles: one row per track,
// a header tile and one tile per sector slot. What each cell shows comes from disk/sector_map.h.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QPixmap>
#include <map>

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
    // The disk was filled: repaint.
    void Refresh();

    // The cell under a point of the viewport; column -1 when there is none.
    std::pair<int, int> CellAt(QPoint viewportPoint) const;
    // Column c's left edge in content coordinates.
    static int ColumnLeft(int column);
    static QSize ContentSize();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildTiles();
    void UpdateScrollBars();

    TZX_Disk& disk_;
    QFont font_;
    std::map<TileKind, QPixmap> tiles_;
};

}  // namespace tarvex::gui
