// TFMain's list of files: which files it takes (by extension or by content) and refuses (a name already
// listed), adding through the dialog and by dropping, removing, and opening a row in the viewer.
#include "gui/main_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <string>

#include "app/format_table.h"
#include "app/shared_texts.h"
#include "gui/format_selector.h"
#include "gui/gui_text.h"
#include "gui/image_viewer.h"

namespace tarvex::gui {

namespace {

const char* const kError = TrMark("Error!");

// The extension of the file-name part from its last dot on, lower-cased; "" without a dot.
QString LowerExtension(const QString& path) {
    const QString name = Q(FileNamePart(S(path)));
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot).toLower();
}

bool AcceptedExtension(const QString& ext) {
    for (const FormatInfo& f : Formats())
        if (f.Present() && ext == QLatin1String(f.extension)) return true;
    return false;
}

// A file is listed when its extension names a format or its first bytes carry a format's signature.
bool RecognisedFile(const QString& path) {
    return AcceptedExtension(LowerExtension(path)) || FormatOfContent(S(path)).has_value();
}

// The folder part of a path with a trailing separator.
std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool TFMain::IsInList(const QString& fileName) const {
    const std::string name = FileNamePart(S(fileName));
    for (int row = 0; row < lv->rowCount(); ++row)
        if (const QTableWidgetItem* item = lv->item(row, 1); item && FileNamePart(S(item->text())) == name) return true;
    return false;
}

bool TFMain::AddFile(const QString& name) {
    if (!RecognisedFile(name)) {
        dialogs_->ShowMessage(this, QTr("Unsupported file type."), QTr(kError));
        return false;
    }
    if (IsInList(name)) {
        dialogs_->ShowMessage(this, Q(texts::AlreadyListed(FileNamePart(S(name)))), QTr(kError));
        return false;
    }
    const int row = lv->rowCount();
    lv->insertRow(row);
    lv->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
    lv->setItem(row, 1, new QTableWidgetItem(name));
    lv->setItem(row, 2, new QTableWidgetItem("..."));
    return true;
}

void TFMain::ShowFileCount() { STB1Panel->setText(QTr("Files in the list: %1").arg(lv->rowCount())); }

void TFMain::UpdateConvertButton() { ToolButton3->setEnabled(lv->rowCount() > 0); }

void TFMain::UpdateInspectButton() {
    ToolButtonInspect->setEnabled(lv->selectionModel() && lv->selectionModel()->hasSelection());
}

void TFMain::ToolButton1Click() {
    if (driver_.Busy) return;
    AddChosenFiles(dialogs_->OpenFiles(this, QTr("Add files"), Q(LastDirectory), AddDialogFilter()));
}

void TFMain::AddChosenFiles(const QStringList& files) {
    for (const QString& file : files)
        if (AddFile(file)) LastDirectory = FolderOf(S(file));
    ShowFileCount();
    UpdateConvertButton();
    SaveSetting([&] { asd.WriteString("LastDirectory", LastDirectory); });
}

void TFMain::WMDropFiles(const QStringList& files, QPoint dropPoint) {
    if (driver_.Busy) return;
    if (!rect().contains(dropPoint)) return;
    for (const QString& file : files) AddFile(file);
    ShowFileCount();
    UpdateConvertButton();
}

void TFMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFMain::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFMain::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    WMDropFiles(files, event->position().toPoint());
}

void TFMain::ToolButton2Click() {
    if (driver_.Busy) return;
    if (dialogs_->AskYesNo(this, QTr("Remove the selected files from the list?"), QTr("Are you sure?"))) {
        int row = 0;
        while (row < lv->rowCount()) {
            if (lv->selectionModel()->isRowSelected(row, QModelIndex())) {
                lv->removeRow(row);
            } else {
                lv->item(row, 0)->setText(QString::number(row + 1));
                ++row;
            }
        }
    }
    ShowFileCount();
    const bool rows = lv->rowCount() > 0;
    ToolButton3->setEnabled(rows);
    ToolButton2->setEnabled(rows);
    UpdateInspectButton();
}

void TFMain::lvClick() {
    ToolButton2->setEnabled(lv->selectionModel()->hasSelection());
    UpdateInspectButton();
}

void TFMain::ToolButton4Click() {
    if (!driver_.Busy) close();
}

void TFMain::ToolButtonInspectClick() {
    const QModelIndexList rows = lv->selectionModel()->selectedRows();
    if (!rows.isEmpty()) InspectRow(rows.front().row());
}

InspectorDialog* TFMain::InspectRow(int row) {
    const QTableWidgetItem* item = lv->item(row, 1);
    if (!item) return nullptr;
    auto* dialog = new InspectorDialog(S(item->text()), this, dialogs_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

}  // namespace tarvex::gui
