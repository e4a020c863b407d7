// The window's boxes on standard error, for a run without a screen: every message is printed, every
// question is answered No, and the choosers return nothing.
#pragma once

#include "gui/dialogs.h"

namespace tarvex::gui {

class ConsoleDialogs : public DialogService {
public:
    bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) override;
    void ShowMessage(QWidget* parent, const QString& text, const QString& caption) override;
    bool ShowFileFailure(QWidget* parent, const QString& text, const QString& caption, const QString& file) override;
    QStringList OpenFiles(QWidget* parent, const QString& title, const QString& folder,
                          const QString& filter) override;
    QString PickFolder(QWidget* parent, const QString& title, const QString& start) override;
};

}  // namespace tarvex::gui
