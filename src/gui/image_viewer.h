// The image viewer: reads one image into a disk model of its own (a run's model is never touched) and shows
// its sector map, the TR-DOS catalogue when the disk has one, the image's comment and the reader's message.
// The files of a TR-DOS catalogue can be extracted into a folder, and files added or deleted; a changed disk
// is written only when the user saves it: over the source after asking, or into another folder.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <memory>
#include <string>

#include "app/trdos_transfer.h"
#include "disk/zx_disk.h"
#include "gui/dialogs.h"
#include "gui/sector_map_view.h"

namespace tarvex::gui {

class InspectorDialog : public QDialog {
    Q_OBJECT
public:
    // dialogs: the boxes and choosers the file buttons use (the desktop's when not given).
    explicit InspectorDialog(const std::string& path, QWidget* parent = nullptr, DialogService* dialogs = nullptr);
    ~InspectorDialog() override;

    bool Loaded() const { return loaded_; }
    TZX_Disk& Disk() { return *disk_; }
    SectorMapView* MapView() const { return map_; }
    QCheckBox* ShowDisabledSectors() const { return showDisabled_; }
    QString Summary() const { return summary_->text(); }
    QString Details() const { return details_->toPlainText(); }
    QPlainTextEdit* DetailsView() const { return details_; }
    // The TR-DOS files, one row per catalogue position, and what the buttons under them do.
    QTableWidget* FilesView() const { return files_; }
    bool Changed() const { return changed_; }
    // The files of the selected rows (all live files when none is selected) written into the folder as
    // Hobeta files; a box tells what became of them.
    void ExtractFilesTo(const QString& folder);
    // Host files (Hobeta, or plain data by any other name) added in turn; a box names each one refused.
    void AddFiles(const QStringList& paths);
    void DeleteSelectedFiles();
    // The changed disk written over its source, after a Yes; or into another folder under its name, never
    // over an existing file. True when written.
    bool SaveOverSource();
    bool SaveIntoFolder(const QString& folder);
    // A changed disk is left unsaved only after a Yes.
    void reject() override;

private:
    void ShowDisk();
    void SetChanged(bool changed);
    std::vector<unsigned> SelectedEntries() const;

    std::unique_ptr<QtDialogService> ownDialogs_;
    DialogService* dialogs_;
    std::string path_;
    std::string message_;  // the reader's
    int format_ = -1;
    ImageKind kind_;
    bool changed_ = false;
    std::unique_ptr<TZX_Disk> disk_;  // about 6 MB, so on the heap
    bool loaded_ = false;
    QLabel* summary_;
    QCheckBox* showDisabled_;
    SectorMapView* map_;
    QPlainTextEdit* details_;
    QTableWidget* files_;
    QPushButton *extract_, *add_, *delete_, *save_, *saveInto_;
};

// The viewer's text for a disk just read (or not) by the reader of `format`: geometry line, then message,
// comment and catalogue.
QString InspectorSummary(TZX_Disk& disk, const std::string& path, bool loaded, const std::string& message,
                         int format);
QString InspectorDetails(TZX_Disk& disk, bool loaded, const std::string& message);

}  // namespace tarvex::gui
