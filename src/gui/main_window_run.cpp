// TFMain's run: Convert and Stop hand over to the conversion driver, and the window answers the driver's
// questions, shows its progress panel, writes each file's result into its row (and what became of the file
// into the row's tool tip) and the run's summary into the status bar.
#include "gui/main_window.h"

#include <QApplication>

#include "gui/gui_text.h"

namespace tarvex::gui {

void TFMain::ToolButton3Click() {
    if (driver_.Busy) return;
    driver_.ToolButton3Click();
    if (closeRequestedDuringRun_) {
        closeRequestedDuringRun_ = false;
        close();
    }
}

void TFMain::BitBtn1Click() { driver_.BitBtn1Click(); }

bool TFMain::AskYesNo(const std::string& text, const std::string& caption) {
    return dialogs_->AskYesNo(this, Q(text), Q(caption));
}

void TFMain::ShowMessage(const std::string& text, const std::string& caption) {
    dialogs_->ShowMessage(this, Q(text), Q(caption));
}

bool TFMain::ShowFileFailure(const std::string& text, const std::string& caption, const std::string& file) {
    return dialogs_->ShowFileFailure(this, Q(text), Q(caption), Q(file));
}

void TFMain::PumpEvents() { QCoreApplication::processEvents(); }

void TFMain::ShowProgress() {
    const QRect list = lv->geometry();
    const int left = list.left() + static_cast<int>(RoundHalfEven(list.width() - p->width(), 2));
    const int top = list.top() + static_cast<int>(RoundHalfEven(list.height() - p->height(), 2));
    p->move(left, top);
    p->show();
    p->raise();
}

void TFMain::HideProgress() { p->hide(); }

void TFMain::SetProgress(int position, const std::string& counter) {
    pg->setValue(position);
    l1->setText(Q(counter));
    p->repaint();
}

void TFMain::SetFormatSelectorEnabled(bool enabled) { cb->setEnabled(enabled); }

void TFMain::SetRowResult(size_t row, const std::string& text, const std::string& detail) {
    if (QTableWidgetItem* item = lv->item(static_cast<int>(row), 2)) {
        item->setText(Q(text));
        item->setToolTip(Q(detail));
    }
}

void TFMain::ShowRunSummary(const std::string& text) {
    STB1Summary->setText(Q(text));
    STB1Summary->setToolTip(Q(text));
}

size_t TFMain::RowCount() { return static_cast<size_t>(lv->rowCount()); }

std::vector<std::string> TFMain::RowCells(size_t row) {
    std::vector<std::string> cells;
    for (int column = 1; column < lv->columnCount(); ++column)
        if (const QTableWidgetItem* item = lv->item(static_cast<int>(row), column)) cells.push_back(S(item->text()));
    return cells;
}

int TFMain::TargetFormat() { return cb->currentIndex(); }
std::string TFMain::OutputFolder() { return S(afl1->text()); }
bool TFMain::SaveIntoFolder() { return cb1->isChecked(); }
bool TFMain::LoggingEnabled() { return cb2->isChecked(); }

}  // namespace tarvex::gui
