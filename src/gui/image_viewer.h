// The image viewer: reads one image into a disk model of its own (a run's model is never touched) and shows
// its sector map, the TR-DOS catalogue when the disk has one, the image's comment and the reader's message.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <memory>
#include <string>

#include "disk/zx_disk.h"
#include "gui/sector_map_view.h"

namespace tarvex::gui {

class InspectorDialog : public QDialog {
    Q_OBJECT
public:
    explicit InspectorDialog(const std::string& path, QWidget* parent = nullptr);
    ~InspectorDialog() override;

    bool Loaded() const { return loaded_; }
    TZX_Disk& Disk() { return *disk_; }
    SectorMapView* MapView() const { return map_; }
    QCheckBox* ShowDisabledSectors() const { return showDisabled_; }
    QString Summary() const { return summary_->text(); }
    QString Details() const { return details_->toPlainText(); }
    QPlainTextEdit* DetailsView() const { return details_; }

private:
    std::unique_ptr<TZX_Disk> disk_;  // about 6 MB, so on the heap
    bool loaded_ = false;
    QLabel* summary_;
    QCheckBox* showDisabled_;
    SectorMapView* map_;
    QPlainTextEdit* details_;
};

// The viewer's text for a disk just read (or not) by the reader of `format`: geometry line, then message,
// comment and catalogue.
QString InspectorSummary(TZX_Disk& disk, const std::string& path, bool loaded, const std::string& message,
                         int format);
QString InspectorDetails(TZX_Disk& disk, bool loaded, const std::string& message);

}  // namespace tarvex::gui
