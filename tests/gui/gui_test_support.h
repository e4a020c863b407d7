// The window's tests answer its boxes and dialogs through this fake and keep their settings in a
// temporary configuration folder.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "test_support.h"

namespace tarvex::gui::test {

class FakeDialogs : public DialogService {
public:
    struct Box {
        QString text, caption;
        bool question = false;
        QString file;  // the lines naming the file, in a file's failure box
    };

    bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
        boxes.push_back({text, caption, true, {}});
        if (answers.empty()) return defaultAnswer;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowMessage(QWidget*, const QString& text, const QString& caption) override {
        boxes.push_back({text, caption, false, {}});
    }
    bool ShowFileFailure(QWidget*, const QString& text, const QString& caption, const QString& file) override {
        boxes.push_back({text, caption, false, file});
        return ++failureBoxes == noMoreFailuresAt;
    }
    QStringList OpenFiles(QWidget*, const QString& title, const QString& folder, const QString& filter) override {
        ++openCalls;
        openTitle = title;
        openFolder = folder;
        openFilter = filter;
        return files;
    }
    QString PickFolder(QWidget*, const QString& title, const QString& start) override {
        pickTitle = title;
        pickStart = start;
        return folder;
    }

    std::vector<Box> boxes;
    std::deque<bool> answers;
    int failureBoxes = 0;
    int noMoreFailuresAt = 0;  // the failure box whose check box is ticked (1 = the first); 0 = none
    bool defaultAnswer = true;
    QStringList files;
    QString folder;
    int openCalls = 0;
    QString openTitle, openFolder, openFilter, pickTitle, pickStart;
};

}  // namespace tarvex::gui::test
