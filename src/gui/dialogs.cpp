// The desktop's own boxes and file choosers behind DialogService: Qt's message boxes (Yes is the default
// answer of a question) and file dialogs, the add dialog's "description|pattern" pairs made into Qt's name
// filters with each pattern in both letter cases.
#include "gui/dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>

#include "gui/gui_text.h"

namespace tarvex::gui {

std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* parent, const QString& text, const QString& caption) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, caption, text,
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::Yes);
    return box;
}

bool QtDialogService::AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
    return MakeQuestionBox(parent, text, caption)->exec() == QMessageBox::Yes;
}

void QtDialogService::ShowMessage(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

std::unique_ptr<QMessageBox> MakeFailureBox(QWidget* parent, const QString& text, const QString& caption,
                                            const QString& file) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
    box->setInformativeText(file);
    box->setCheckBox(new QCheckBox(QTr("Show no more of these in this run")));
    return box;
}

bool QtDialogService::ShowFileFailure(QWidget* parent, const QString& text, const QString& caption,
                                      const QString& file) {
    const auto box = MakeFailureBox(parent, text, caption, file);
    box->exec();
    return box->checkBox()->isChecked();
}

QStringList NameFiltersFromPairs(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            patterns << p;
            if (p.toUpper() != p) patterns << p.toUpper();
        }
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(0x20)) + QStringLiteral(")");
    }
    return filters;
}

QStringList QtDialogService::OpenFiles(QWidget* parent, const QString& title, const QString& folder,
                                       const QString& filter) {
    QFileDialog dialog(parent, title, folder);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::ReadOnly, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setSizeGripEnabled(true);
    const QStringList filters = NameFiltersFromPairs(filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

QString QtDialogService::PickFolder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

}  // namespace tarvex::gui
