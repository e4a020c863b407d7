// Qt's own buttons speak the window's language once its translation is installed.
#include "gui/qt_translations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include "gui/dialogs.h"

namespace {

QString ButtonText(QMessageBox& box, QMessageBox::StandardButton which) {
    return box.button(which)->text().remove(u'&');
}

TEST(QtTranslationsTest, QuestionBoxButtonsReadRussianAndEnglishAgainWithout) {
    QTranslator* russian = tarvex::gui::InstallQtTranslations(*QApplication::instance(), "ru");
    ASSERT_NE(russian, nullptr) << "qtbase_ru.qm is not installed (Debian's qt6-translations-l10n)";
    {
        const auto box = tarvex::gui::MakeQuestionBox(nullptr, "Заменить?", "Внимание..!");
        EXPECT_EQ(ButtonText(*box, QMessageBox::Yes), QString("Да"));
        EXPECT_EQ(ButtonText(*box, QMessageBox::No), QString("Нет"));
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    }
    QCoreApplication::removeTranslator(russian);
    delete russian;
    const auto box = tarvex::gui::MakeQuestionBox(nullptr, "Replace?", "Warning");
    EXPECT_EQ(ButtonText(*box, QMessageBox::Yes), QString("Yes"));
}

TEST(QtTranslationsTest, UnknownLanguageInstallsNothing) {
    EXPECT_EQ(tarvex::gui::InstallQtTranslations(*QApplication::instance(), "xx-none"), nullptr);
}

}  // namespace
