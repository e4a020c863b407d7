// The window's modal boxes and file choosers behind one interface, so tests can answer them.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace tarvex::gui {

class DialogService {
public:
    virtual ~DialogService() = default;
    // Yes/No question; true only for an explicit Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) = 0;
    // One-button information box.
    virtual void ShowMessage(QWidget* parent, const QString& text, const QString& caption) = 0;
    // The same box for a file's failure, with `file` under the text and the check box "Show no more of
    // these in this run"; true when it was ticked.
    virtual bool ShowFileFailure(QWidget* parent, const QString& text, const QString& caption, const QString& file) = 0;
    // Multi-select open dialog; filter is "description|pattern|description|pattern...", the patterns
    // separated by ';'. Empty when cancelled.
    virtual QStringList OpenFiles(QWidget* parent, const QString& title, const QString& folder,
                                  const QString& filter) = 0;
    // Folder picker; empty when cancelled.
    virtual QString PickFolder(QWidget* parent, const QString& title, const QString& start) = 0;
};

// The real boxes and dialogs of the desktop.
class QtDialogService : public DialogService {
public:
    bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) override;
    void ShowMessage(QWidget* parent, const QString& text, const QString& caption) override;
    bool ShowFileFailure(QWidget* parent, const QString& text, const QString& caption, const QString& file) override;
    QStringList OpenFiles(QWidget* parent, const QString& title, const QString& folder,
                          const QString& filter) override;
    QString PickFolder(QWidget* parent, const QString& title, const QString& start) override;
};

// The Yes/No question box the window asks with, Yes as the default button; not yet shown.
std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* parent, const QString& text, const QString& caption);

// The box of a file's failure, not yet shown: its check box is box->checkBox().
std::unique_ptr<QMessageBox> MakeFailureBox(QWidget* parent, const QString& text, const QString& caption,
                                            const QString& file);

// "desc|*.a;*.b|..." as the name filters of a Qt file dialog: each description followed by its patterns,
// in lower and upper case (file names on this platform are case-sensitive).
QStringList NameFiltersFromPairs(const QString& filter);

}  // namespace tarvex::gui
