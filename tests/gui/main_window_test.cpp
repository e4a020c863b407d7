#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QStandardItemModel>
#include <QUrl>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <algorithm>
#include <cstring>
#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "gui/format_selector.h"
#include "gui/gui_text.h"
#include "gui_test_support.h"
#include "io/text_1251.h"
#include "test_locale.h"

namespace tarvex::gui {
namespace {

using tarvex::test::MakeTrdBytes;
using tarvex::test::ReadFile;
using tarvex::test::ScopedEnv;
using tarvex::test::TempDir;
using tarvex::test::WriteFile;
namespace fs = std::filesystem;

std::string FileText(const fs::path& path) {
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
        : config_("XDG_CONFIG_HOME", temp_ / "config"), data_("XDG_DATA_HOME", temp_ / "data"),
          program_(temp_ / "program/") {
        fs::create_directories(program_);
    }

    void Open(const QStringList& files = {}) {
        WindowOptions options;
        options.files = files;
        options.dialogs = &dialogs_;
        options.programFolder = program_;
        options.clock = [] { return LocalTime{2026, 12, 8, 10, 20, 30, 450}; };
        window_ = std::make_unique<TFMain>(options);
        window_->show();
    }

    fs::path StoreFile() const { return temp_.path() / "config/tarvex/registry/HKEY_LOCAL_MACHINE.ini"; }
    void WriteStore(const std::string& lines) {
        fs::create_directories(StoreFile().parent_path());
        const std::string text = "[Software\\Morvane\\Tarvex\\Data]\n" + lines;
        WriteFile(StoreFile(), Bytes(text.begin(), text.end()));
    }

    void Drop(const QStringList& files, QPoint at = {100, 100}) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& f : files) urls << QUrl::fromLocalFile(f);
        mime->setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_.get(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_.get(), &drop);
        delete mime;
    }

    QString Cell(int row, int column) const { return window_->lv->item(row, column)->text(); }
    int Rows() const { return window_->lv->rowCount(); }

    TempDir temp_;
    ScopedEnv config_, data_;
    std::string program_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<TFMain> window_;
};

TEST_F(WindowTest, FirstStartWritesAllFiveKeysAndShowsTheEmptyWindow) {
    Open();
    EXPECT_EQ(FileText(StoreFile()), "[Software\\Morvane\\Tarvex\\Data]\n"
                                     "ImageDirectory=" + program_ + "DiskImage\n"
                                     "LastDirectory=" + program_ + "DiskImage\n"
                                     "SamePath=0\nLOG=0\nType=0\n");
    EXPECT_EQ(window_->afl1->text().toStdString(), program_ + "DiskImage");
    EXPECT_TRUE(window_->cb1->isChecked());
    EXPECT_TRUE(window_->afl1->isEnabled());
    EXPECT_FALSE(window_->cb2->isChecked());
    EXPECT_EQ(window_->Driver().LogFileName(), program_ + "log.txt");
    EXPECT_FALSE(fs::exists(program_ + "DiskImage")) << "the window never creates the output folder";

    EXPECT_EQ(window_->windowTitle(), "Tarvex 2014  v0.02");
    EXPECT_EQ(window_->size(), QSize(919, 441));
    EXPECT_EQ(window_->minimumSize(), QSize(760, 400));
    ASSERT_EQ(window_->cb->count(), 9);
    EXPECT_EQ(window_->cb->itemText(0), "Универсальный образ диска (*.udi)");
    EXPECT_EQ(window_->cb->itemText(6), "Образ диска Корвета (*.kdi)");
    EXPECT_EQ(window_->cb->itemText(7), "Образ дискеты HxC (*.hfe)");
    EXPECT_EQ(window_->cb->itemText(8), "Образ диска Amstrad CPC / Spectrum +3 (*.dsk)");
    EXPECT_EQ(window_->cb->currentIndex(), 0);
    EXPECT_EQ(window_->STB1Panel->text(), "Файлов в списке - 0");
    EXPECT_FALSE(window_->ToolButton2->isEnabled());
    EXPECT_FALSE(window_->ToolButton3->isEnabled());
    EXPECT_TRUE(window_->ToolButton1->isEnabled());
    EXPECT_EQ(window_->ToolButton1->toolTip(), "Добавить файлы в список");
    EXPECT_EQ(window_->ToolButton3->toolTip(), "Преобразовать");
    EXPECT_FALSE(window_->p->isVisible());
    EXPECT_FALSE(window_->zxdView->isVisible());
    EXPECT_EQ(window_->lv->horizontalHeaderItem(1)->text(), "Filename");
    EXPECT_EQ(window_->lv->columnWidth(2), 100);
}

// Every text the widgets under `root` show: captions, tool tips, selector items and column titles.
QStringList ShownTexts(QWidget& root) {
    QStringList texts{root.windowTitle()};
    for (QWidget* w : root.findChildren<QWidget*>()) {
        texts << w->toolTip();
        if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
        if (auto* box = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
        if (auto* table = qobject_cast<QTableWidget*>(w))
            for (int i = 0; i < table->columnCount(); ++i) texts << table->horizontalHeaderItem(i)->text();
    }
    return texts;
}

bool HasCyrillic(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x400 && c.unicode() < 0x530; });
}

TEST_F(WindowTest, EnglishLocaleShowsEveryTextInEnglish) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    Open();
    for (const QString& text : ShownTexts(*window_)) EXPECT_FALSE(HasCyrillic(text)) << text.toStdString();
    EXPECT_EQ(window_->Label1->text(), "Convert to");
    EXPECT_EQ(window_->cb1->text(), "Save to");
    EXPECT_EQ(window_->cb2->text(), "Keep a log");
    EXPECT_EQ(window_->cb->itemText(0), "Universal disk image (*.udi)");
    EXPECT_EQ(window_->cb->itemText(5), "Compact TR-DOS disk image (*.scl)");
    EXPECT_EQ(window_->STB1Panel->text(), "Files in the list: 0");
    EXPECT_EQ(window_->ToolButton3->toolTip(), "Convert");
    EXPECT_EQ(window_->Label3->text(), "Processed:");
    EXPECT_EQ(AddDialogFilter(), "Universal disk image (*.udi)|*.udi|TR-DOS disk image (*.trd)|*.trd|"
                                 "TeleDisk disk image (*.td0)|*.td0|Full disk image (*.fdi)|*.fdi|"
                                 "CP/M Profi sector image (*.pro)|*.pro|Compact TR-DOS disk image (*.scl)|*.scl|"
                                 "Korvet disk image (*.kdi)|*.kdi|HxC floppy image (*.hfe)|*.hfe|"
                                 "Amstrad CPC / Spectrum +3 disk image (*.dsk)|*.dsk|"
                                 "Supported formats (*.udi,*.trd,*.td0,*.fdi,*.pro,*.scl,*.kdi,*.hfe,*.dsk)|"
                                 "*.fdi;*.trd;*.udi;*.td0;*.pro;*.scl;*.kdi;*.hfe;*.dsk|All files|*");
}

TEST_F(WindowTest, RussianLocaleGivesTheOriginalAddDialogFilter) {
    EXPECT_EQ(AddDialogFilter(),
              "Универсальный образ диска (*.udi)|*.udi|Файл образа TRDOS диска (*.trd)|*.trd|"
              "Образ диска TeleDisk (*.td0)|*.td0|Полный образ диска (*.fdi)|*.fdi|"
              "Секторный образ диска CP/M Profi (*.pro)|*.pro|Краткий формат образа TRDOS диска (*.scl)|*.scl|"
              "Образ диска Корвета (*.kdi)|*.kdi|Образ дискеты HxC (*.hfe)|*.hfe|"
              "Образ диска Amstrad CPC / Spectrum +3 (*.dsk)|*.dsk|"
              "Поддерживаемые форматы (*.udi,*.trd,*.td0,*.fdi,*.pro,*.scl,*.kdi,*.hfe,*.dsk)|"
              "*.fdi;*.trd;*.udi;*.td0;*.pro;*.scl;*.kdi;*.hfe;*.dsk|Все файлы|*");
}

// The selector shows the format table's descriptions through the catalogue, one per format in table order,
// and the Russian catalogue has a translation of each.
TEST_F(WindowTest, SelectorItemsAreTheTablesTranslatedDescriptions) {
    for (const char* locale : {tarvex::test::kRussianLocale, tarvex::test::kEnglishLocale}) {
        const tarvex::test::ScopedLocale scoped(locale);
        Open();
        ASSERT_EQ(window_->cb->count(), kFormatCount) << locale;
        for (int i = 0; i < kFormatCount; ++i) {
            const char* description = Formats()[i].description;
            EXPECT_EQ(window_->cb->itemText(i).toStdString(), Tr(description)) << locale << " " << i;
            EXPECT_EQ(FormatSelectorItems()[i], window_->cb->itemText(i)) << locale << " " << i;
            if (locale == tarvex::test::kRussianLocale) {
                EXPECT_NE(Tr(description), description) << i;
            }
        }
        window_.reset();
    }
}

TEST_F(WindowTest, EnglishLocaleAddingMessagesAndQuestionsAreEnglish) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    Open();
    const QString trd = QString::fromStdString(temp_ / "a.trd");
    WriteFile(temp_ / "a.trd", MakeTrdBytes(1));
    window_->WMDropFiles({trd, trd, QString::fromStdString(temp_ / "notes.txt")}, {100, 100});
    ASSERT_EQ(dialogs_.boxes.size(), 2u);
    EXPECT_EQ(dialogs_.boxes[0].caption, "Error!");
    EXPECT_EQ(dialogs_.boxes[0].text, "A file named \"a.trd\" is already in the list.");
    EXPECT_EQ(dialogs_.boxes[1].text, "Unsupported file type.");
    window_->lv->selectRow(0);
    window_->ToolButton2Click();
    ASSERT_EQ(dialogs_.boxes.size(), 3u);
    EXPECT_TRUE(dialogs_.boxes[2].question);
    EXPECT_EQ(dialogs_.boxes[2].caption, "Are you sure?");
    EXPECT_EQ(dialogs_.boxes[2].text, "Remove the selected files from the list?");
}

TEST_F(WindowTest, StoredSettingsAreShownAndTypeThreeIsNotRewritten) {
    WriteStore("ImageDirectory=/srv/out\nLastDirectory=/home/u/\nSamePath=1\nLOG=1\nType = 3\n");
    Open();
    EXPECT_EQ(window_->cb->currentText(), "Полный образ диска (*.fdi)");
    EXPECT_EQ(window_->afl1->text(), "/srv/out");
    EXPECT_FALSE(window_->cb1->isChecked());
    EXPECT_FALSE(window_->afl1->isEnabled());
    EXPECT_TRUE(window_->cb2->isChecked());
    const std::string text = FileText(StoreFile());
    EXPECT_NE(text.find("Type = 3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SamePath=1\n"), std::string::npos) << text;

    window_->cb->setCurrentIndex(5);
    emit window_->cb->activated(5);  // as a choice by the user
    EXPECT_NE(FileText(StoreFile()).find("Type=5\n"), std::string::npos);
    window_->cb1->click();
    EXPECT_TRUE(window_->afl1->isEnabled());
    EXPECT_NE(FileText(StoreFile()).find("SamePath=0\n"), std::string::npos);
}

TEST_F(WindowTest, TypeOutsideTheSevenFormatsSelectsTheFirst) {
    WriteStore("Type=9\n");
    Open();
    EXPECT_EQ(window_->cb->currentIndex(), 0);
    EXPECT_NE(FileText(StoreFile()).find("Type=0\n"), std::string::npos);
}

TEST_F(WindowTest, TypeEightIsDskAndAPlaceWithoutAWriterIsNotOffered) {
    WriteStore("Type=8\n");
    Open();
    EXPECT_EQ(window_->cb->currentIndex(), kDSK);
    EXPECT_EQ(window_->TargetFormat(), kDSK);
    const auto* items = qobject_cast<const QStandardItemModel*>(window_->cb->model());
    ASSERT_NE(items, nullptr);
    for (int i = 0; i < kFormatCount; ++i) EXPECT_EQ(items->item(i)->isEnabled(), Formats()[i].Present()) << i;

    for (int i = 0; i < kFormatCount; ++i) {
        if (Formats()[i].Present()) continue;
        window_.reset();
        WriteStore("Type=" + std::to_string(i) + "\n");
        Open();
        EXPECT_EQ(window_->cb->currentIndex(), 0) << i;
    }
}

TEST_F(WindowTest, UnreadableStoreFallsBackToFirstRunValues) {
    fs::create_directories(StoreFile());  // a folder where the store's file should be
    Open();
    EXPECT_EQ(window_->afl1->text().toStdString(), program_ + "DiskImage");
    EXPECT_TRUE(window_->cb1->isChecked());
    EXPECT_FALSE(window_->cb2->isChecked());
    EXPECT_EQ(window_->cb->currentIndex(), 0);
    window_->cb2->click();  // a failing write is not fatal either
    EXPECT_TRUE(window_->cb2->isChecked());
}

TEST_F(WindowTest, AddingThroughTheDialogChecksExtensionAndName) {
    Open();
    dialogs_.files = {"/x/readme.txt", "/a/game.trd", "/b/game.trd", "/b/GAME.trd", "/c/DISK.TD0"};
    window_->ToolButton1Click();
    EXPECT_EQ(dialogs_.openTitle, "Добавить файлы");
    EXPECT_EQ(dialogs_.openFolder.toStdString(), program_ + "DiskImage");
    EXPECT_TRUE(dialogs_.openFilter.startsWith("Универсальный образ диска (*.udi)|*.udi|Файл образа TRDOS"));
    EXPECT_TRUE(dialogs_.openFilter.endsWith(
        "Поддерживаемые форматы (*.udi,*.trd,*.td0,*.fdi,*.pro,*.scl,*.kdi,*.hfe,*.dsk)|"
        "*.fdi;*.trd;*.udi;*.td0;*.pro;*.scl;*.kdi;*.hfe;*.dsk|Все файлы|*"));

    ASSERT_EQ(dialogs_.boxes.size(), 2u);
    EXPECT_EQ(dialogs_.boxes[0].text, "Не поддерживаемый тип файла...");
    EXPECT_EQ(dialogs_.boxes[0].caption, "Ошибка!");
    EXPECT_FALSE(dialogs_.boxes[0].question);
    EXPECT_EQ(dialogs_.boxes[1].text, "Файл с именем \"game.trd\" уже есть в списке...");
    EXPECT_EQ(dialogs_.boxes[1].caption, "Ошибка!");

    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(0, 1), "/a/game.trd");
    EXPECT_EQ(Cell(1, 1), "/b/GAME.trd") << "names compare exactly, letter case included";
    EXPECT_EQ(Cell(2, 1), "/c/DISK.TD0");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Cell(row, 0), QString::number(row + 1));
        EXPECT_EQ(Cell(row, 2), "...");
    }
    EXPECT_EQ(window_->STB1Panel->text(), "Файлов в списке - 3");
    EXPECT_TRUE(window_->ToolButton3->isEnabled());
    EXPECT_FALSE(window_->ToolButton2->isEnabled());
    EXPECT_NE(FileText(StoreFile()).find("LastDirectory=/c/\n"), std::string::npos);
    EXPECT_TRUE(window_->IsInList("/elsewhere/GAME.TRD") == false);
    EXPECT_TRUE(window_->IsInList("/elsewhere/game.trd"));
}

TEST_F(WindowTest, CancellingTheDialogStillWritesTheFolderAndRefreshesTheCount) {
    WriteStore("LastDirectory = /keep/\n");
    Open();
    dialogs_.files = {};
    window_->ToolButton1Click();
    EXPECT_EQ(dialogs_.openFolder, "/keep/");
    EXPECT_NE(FileText(StoreFile()).find("LastDirectory=/keep/\n"), std::string::npos) << "written again, unchanged";
    EXPECT_EQ(window_->STB1Panel->text(), "Файлов в списке - 0");
    EXPECT_FALSE(window_->ToolButton3->isEnabled());
}

TEST_F(WindowTest, DroppedFilesAreAddedInOrderWithTheSameChecks) {
    Open();
    Drop({"/d/one.scl", "/d/notes.txt", "/d/TWO.Udi", "/e/one.scl"});
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 1), "/d/one.scl");
    EXPECT_EQ(Cell(1, 1), "/d/TWO.Udi");
    EXPECT_EQ(dialogs_.boxes.size(), 2u);
    EXPECT_EQ(window_->STB1Panel->text(), "Файлов в списке - 2");
    EXPECT_TRUE(window_->ToolButton3->isEnabled());
    EXPECT_EQ(dialogs_.openCalls, 0);

    window_->WMDropFiles({"/f/far.trd"}, QPoint(-5, 10));  // outside the client area
    EXPECT_EQ(Rows(), 2);
}

TEST_F(WindowTest, AFileWhoseContentIsRecognisedIsAddedWhateverItsExtension) {
    tarvex::test::TempDir dir;
    tarvex::TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(tarvex::test::MakeTrdBytes(2)));
    tarvex::Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));
    tarvex::test::WriteFile(dir / "game.img", udi);
    tarvex::test::WriteFile(dir / "noname", udi);
    tarvex::test::WriteFile(dir / "game.bin", tarvex::test::MakeTrdBytes(2));  // a TRD: no content tells it
    Open();
    Drop({QString::fromStdString(dir / "game.img"), QString::fromStdString(dir / "noname"),
          QString::fromStdString(dir / "game.bin")});
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 1).toStdString(), dir / "game.img");
    EXPECT_EQ(Cell(1, 1).toStdString(), dir / "noname");
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].text, "Не поддерживаемый тип файла...");
}

TEST_F(WindowTest, FilesOnTheCommandLineAreAddedOnceShownAsIfChosenInTheDialog) {
    WriteStore("LastDirectory = /keep/\n");
    Open({"/x/readme.txt", "/a/game.trd", "/b/game.trd", "rel/DISK.Scl"});
    EXPECT_EQ(Rows(), 0) << "added when the window is up, so that its boxes have an owner";
    QCoreApplication::processEvents();

    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 1), "/a/game.trd");
    EXPECT_EQ(Cell(1, 1), QDir::currentPath() + "/rel/DISK.Scl")
        << "a relative name is taken from where it was started";
    EXPECT_EQ(Cell(1, 0), "2");
    EXPECT_EQ(Cell(1, 2), "...");
    ASSERT_EQ(dialogs_.boxes.size(), 2u);
    EXPECT_EQ(dialogs_.boxes[0].text, "Не поддерживаемый тип файла...");
    EXPECT_EQ(dialogs_.boxes[0].caption, "Ошибка!");
    EXPECT_EQ(dialogs_.boxes[1].text, "Файл с именем \"game.trd\" уже есть в списке...");
    EXPECT_EQ(dialogs_.boxes[1].caption, "Ошибка!");
    EXPECT_EQ(window_->STB1Panel->text(), "Файлов в списке - 2");
    EXPECT_TRUE(window_->ToolButton3->isEnabled());
    EXPECT_EQ(dialogs_.openCalls, 0);
    const std::string lastFolder = "LastDirectory=" + QDir::currentPath().toStdString() + "/rel/\n";
    EXPECT_NE(FileText(StoreFile()).find(lastFolder), std::string::npos) << FileText(StoreFile());

    window_->hide();
    window_->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Rows(), 2) << "only the first showing adds them";
}

TEST_F(WindowTest, WithoutFilesOnTheCommandLineTheStartIsUntouched) {
    WriteStore("LastDirectory = /keep/\n");
    Open({});
    QCoreApplication::processEvents();
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_NE(FileText(StoreFile()).find("LastDirectory = /keep/\n"), std::string::npos) << "not rewritten";
}

TEST_F(WindowTest, FilenameColumnFollowsEveryResizeIncludingMaximise) {
    Open();
    QCoreApplication::processEvents();
    const auto expectRule = [this](const char* when) {
        EXPECT_EQ(window_->lv->columnWidth(1), window_->lv->width() - 172) << when;
    };
    expectRule("when first shown");
    const int firstWidth = window_->lv->width();
    window_->resize(1100, 500);
    QCoreApplication::processEvents();
    EXPECT_NE(window_->lv->width(), firstWidth);
    expectRule("after a resize");
    window_->resize(900, 450);
    QCoreApplication::processEvents();
    expectRule("after a second resize");
    const int beforeMaximise = window_->lv->width();
    window_->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_NE(window_->lv->width(), beforeMaximise) << "the offscreen screen is a different size";
    expectRule("after maximising");
    window_->showNormal();
    QCoreApplication::processEvents();
    expectRule("after restoring");
}

TEST_F(WindowTest, OutputFolderFieldShowsItsWholePathAsATooltip) {
    WriteStore("ImageDirectory=/srv/a/rather/long/output/folder/for/images\n");
    Open();
    EXPECT_EQ(window_->afl1->Edit()->toolTip(), "/srv/a/rather/long/output/folder/for/images");
    fs::create_directories(temp_ / "out");
    dialogs_.folder = QString::fromStdString(temp_ / "out");
    window_->afl1Button1Click();
    EXPECT_EQ(window_->afl1->Edit()->toolTip().toStdString(), temp_ / "out");
}

TEST_F(WindowTest, RemovingRowsTwoAndFourOfFiveRenumbersTheRest) {
    Open();
    Drop({"/r/1.trd", "/r/2.trd", "/r/3.trd", "/r/4.trd", "/r/5.trd"});
    for (size_t row = 0; row < 5; ++row) window_->SetRowResult(row, "result " + std::to_string(row + 1), "");

    window_->lv->clearSelection();
    dialogs_.defaultAnswer = true;
    window_->ToolButton2Click();  // nothing selected: nothing goes, both buttons are enabled
    EXPECT_EQ(Rows(), 5);
    EXPECT_TRUE(window_->ToolButton2->isEnabled());
    EXPECT_TRUE(window_->ToolButton3->isEnabled());

    auto selectRows = [&](std::initializer_list<int> rows) {
        window_->lv->clearSelection();
        for (int row : rows)
            window_->lv->selectionModel()->select(window_->lv->model()->index(row, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    selectRows({1, 3});
    EXPECT_TRUE(window_->ToolButton2->isEnabled()) << "a selection enables Remove";
    dialogs_.answers = {false};
    window_->ToolButton2Click();
    EXPECT_EQ(Rows(), 5) << "No keeps every row";
    EXPECT_EQ(dialogs_.boxes.back().text, "Удалить файлы из списка?");
    EXPECT_EQ(dialogs_.boxes.back().caption, "Вы уверены?");
    EXPECT_TRUE(dialogs_.boxes.back().question);

    selectRows({1, 3});
    dialogs_.answers = {true};
    window_->ToolButton2Click();
    ASSERT_EQ(Rows(), 3);
    const char* paths[] = {"/r/1.trd", "/r/3.trd", "/r/5.trd"};
    const char* results[] = {"result 1", "result 3", "result 5"};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Cell(row, 0), QString::number(row + 1));
        EXPECT_EQ(Cell(row, 1), paths[row]);
        EXPECT_EQ(Cell(row, 2), results[row]);
    }
    EXPECT_EQ(window_->STB1Panel->text(), "Файлов в списке - 3");
    EXPECT_TRUE(window_->ToolButton2->isEnabled());
    EXPECT_TRUE(window_->ToolButton3->isEnabled());

    window_->lv->selectRow(0);
    window_->lv->clearSelection();
    EXPECT_FALSE(window_->ToolButton2->isEnabled()) << "no selection disables Remove";
    window_->lv->selectAll();
    window_->ToolButton2Click();
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(window_->ToolButton2->isEnabled());
    EXPECT_FALSE(window_->ToolButton3->isEnabled());
}

TEST_F(WindowTest, ChoosingTheOutputFolderKeepsOnlyExistingFolders) {
    Open();
    dialogs_.folder = QString::fromStdString(temp_ / "missing");
    window_->afl1Button1Click();
    EXPECT_EQ(dialogs_.pickTitle, "Выберите каталог для сохранения образов.");
    EXPECT_EQ(dialogs_.pickStart.toStdString(), program_ + "DiskImage");
    EXPECT_EQ(window_->afl1->text().toStdString(), program_ + "DiskImage");

    fs::create_directories(temp_ / "out");
    dialogs_.folder = QString::fromStdString(temp_ / "out");
    window_->afl1Button1Click();
    EXPECT_EQ(window_->afl1->text().toStdString(), temp_ / "out");
    EXPECT_NE(FileText(StoreFile()).find("ImageDirectory=" + (temp_ / "out") + "\n"), std::string::npos);
}

// Three TRD files through the real driver and readers; the middle one is too long to be a TRD image.
class RunTest : public WindowTest {
protected:
    void SetUp() override {
        fs::create_directories(temp_ / "src");
        WriteFile(temp_ / "src/first.trd", MakeTrdBytes(4));
        WriteFile(temp_ / "src/broken.trd", Bytes(257 * 4096, 0xE5));
        WriteFile(temp_ / "src/third.trd", MakeTrdBytes(2, [](size_t i) { return static_cast<uint8_t>(i * 3); }));
        Open();
        dialogs_.files = {Q("src/first.trd"), Q("src/broken.trd"), Q("src/third.trd")};
        window_->ToolButton1Click();
        window_->cb->setCurrentIndex(1);
        window_->afl1->setText(Q("out"));
    }
    QString Q(const std::string& name) const { return QString::fromStdString(temp_ / name); }
};

TEST_F(RunTest, ThreeFilesWithAFailingMiddleOne) {
    window_->cb2->setChecked(true);
    window_->ToolButton3Click();

    EXPECT_EQ(Cell(0, 2), "Converted!");
    EXPECT_EQ(Cell(1, 2), "Error open file!");
    EXPECT_EQ(Cell(2, 2), "Converted!");
    EXPECT_EQ(window_->l1->text(), "3 / 3");
    EXPECT_EQ(window_->pg->value(), 100);
    EXPECT_FALSE(window_->p->isVisible());
    EXPECT_TRUE(window_->cb->isEnabled());
    EXPECT_FALSE(window_->Busy());
    EXPECT_EQ(ReadFile(temp_ / "out/first.trd"), MakeTrdBytes(4));
    EXPECT_TRUE(fs::exists(temp_ / "out/third.trd"));
    EXPECT_FALSE(fs::exists(temp_ / "out/broken.trd"));

    ASSERT_EQ(dialogs_.boxes.size(), 2u) << "the folder question and the broken file's error";
    EXPECT_EQ(dialogs_.boxes[0].text, "Не найден каталог сохранения образов! Создать?");
    EXPECT_EQ(dialogs_.boxes[1].caption, "Error!");
    EXPECT_NE(dialogs_.boxes[1].text.indexOf("257"), -1) << dialogs_.boxes[1].text.toStdString();
}

TEST_F(RunTest, AFileGoneSinceItWasListedIsReportedWithTheSystemsReason) {
    fs::remove(temp_ / "src/first.trd");
    window_->ToolButton3Click();
    EXPECT_EQ(Cell(0, 2), "Error open file!");
    EXPECT_EQ(Cell(2, 2), "Converted!");
    ASSERT_GE(dialogs_.boxes.size(), 2u);
    const test::FakeDialogs::Box& gone = dialogs_.boxes[1];
    EXPECT_EQ(gone.caption, "Error!");
    EXPECT_NE(gone.text.indexOf(Q("src/first.trd")), -1) << gone.text.toStdString();
    EXPECT_NE(gone.text.indexOf(std::strerror(ENOENT)), -1) << gone.text.toStdString();
}

TEST_F(RunTest, LogFileIsWindows1251WithCrLf) {
    window_->cb2->setChecked(true);
    window_->ToolButton3Click();
    const Bytes raw = ReadFile(program_ + "log.txt");
    const std::string rawText(raw.begin(), raw.end());
    EXPECT_EQ(rawText.find("Начало"), std::string::npos) << "no UTF-8 in the file";
    const std::string text = Cp1251ToUtf8(raw);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 14u) << text;
    const std::string stamp = "08.12.26 10:20:30:450| ";
    auto line = [&](size_t i) {
        return lines[i].substr(0, stamp.size()) == stamp ? lines[i].substr(stamp.size()) : "?" + lines[i];
    };
    const std::string src = temp_ / "src/", out = temp_ / "out";
    EXPECT_EQ(line(0), "Начало конвертирования образов.");
    EXPECT_EQ(line(1), "Не найден каталог сохранения образов \"" + out + "\"");
    EXPECT_EQ(line(2), "Создание каталога \"" + out + "\"");
    EXPECT_EQ(line(3), "Открытие файла \"" + src + "first.trd\"");
    EXPECT_EQ(line(4), "Файл открыт \"" + src + "first.trd\"");
    EXPECT_EQ(line(5), "Создание образа \"" + out + "/first.trd\"");
    EXPECT_EQ(line(6), "Образ сохранен в файл \"" + out + "/first.trd\"");
    EXPECT_EQ(line(7), "Открытие файла \"" + src + "broken.trd\"");
    EXPECT_EQ(line(8).rfind("Ошибка загрузки образа \"" + src + "broken.trd\" (", 0), 0u) << line(8);
    EXPECT_EQ(line(9), "Открытие файла \"" + src + "third.trd\"");
    EXPECT_EQ(line(13), "Конвертирование завершено.");
}

TEST_F(RunTest, StopAfterTheFirstLoadEndsTheRunWithoutWriting) {
    QTimer::singleShot(0, window_->BitBtn1, &QPushButton::click);  // pressed while the run lets events through
    dialogs_.answers = {true, true};                                 // create the folder; stop
    window_->ToolButton3Click();
    ASSERT_EQ(dialogs_.boxes.size(), 2u);
    EXPECT_EQ(dialogs_.boxes[1].text, "Остановить процесс?");
    EXPECT_EQ(dialogs_.boxes[1].caption, "Внимание!");
    for (int row = 0; row < 3; ++row) EXPECT_EQ(Cell(row, 2), "...");
    EXPECT_FALSE(fs::exists(temp_ / "out/first.trd"));
    EXPECT_FALSE(window_->Busy());
    EXPECT_FALSE(window_->p->isVisible());
    EXPECT_TRUE(window_->cb->isEnabled());
    EXPECT_FALSE(window_->Driver().StopRequested);
}

TEST_F(RunTest, AnsweringNoToStopGoesOn) {
    QTimer::singleShot(0, window_->BitBtn1, &QPushButton::click);
    dialogs_.answers = {true, false};
    window_->ToolButton3Click();
    EXPECT_EQ(Cell(0, 2), "Converted!");
    EXPECT_EQ(Cell(2, 2), "Converted!");
}

TEST_F(RunTest, CommandsAndDropsDuringARunAreIgnored) {
    bool busyAtPump = false;
    bool panelShown = false;
    dialogs_.files = {Q("src/other.trd")};
    QTimer::singleShot(0, [&] {
        busyAtPump = window_->Busy();
        panelShown = window_->p->isVisible();
        EXPECT_FALSE(window_->cb->isEnabled());
        Drop({"/late/dropped.trd", "/late/also.scl"});
        window_->ToolButton1Click();
        window_->lv->selectAll();
        window_->ToolButton2Click();
        window_->close();  // remembered: the window closes after the run
    });
    const size_t boxesBefore = dialogs_.boxes.size();
    window_->ToolButton3Click();
    EXPECT_TRUE(busyAtPump);
    EXPECT_TRUE(panelShown);
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(dialogs_.openCalls, 1) << "only the add before the run";
    EXPECT_EQ(dialogs_.boxes.size() - boxesBefore, 2u) << "folder question and the broken file's error only";
    EXPECT_EQ(Cell(2, 2), "Converted!") << "the run went on to its end";
    EXPECT_FALSE(window_->isVisible()) << "and the close request was carried out after it";
}

// Twenty images of which five fail (four cannot be read, one cannot be written), in either language; the
// first failure's box is ticked "no more".
TEST_F(WindowTest, BatchWithFailuresOneBoxToolTipsAndSummary) {
    for (const auto& [locale, file, summary] :
         {std::tuple{tarvex::test::kEnglishLocale, "File: ", "15 converted, 5 failed"},
          {tarvex::test::kRussianLocale, "Файл: ", "Преобразовано: 15, ошибок: 5"}}) {
        const tarvex::test::ScopedLocale language(locale);
        dialogs_ = {};
        dialogs_.noMoreFailuresAt = 1;
        for (int i = 0; i < 20; ++i) {
            dialogs_.files << Q(temp_ / ("src/disk" + std::to_string(i) + ".trd"));
            fs::create_directories(temp_ / "src");
            WriteFile(temp_ / ("src/disk" + std::to_string(i) + ".trd"),
                      i == 2 || i == 9 || i == 17 ? Bytes(257 * 4096, 0xE5) : MakeTrdBytes(2));
        }
        fs::remove(temp_ / "src/disk6.trd");
        fs::remove_all(temp_ / "out");
        fs::create_directories(temp_ / "out/disk13.trd");
        Open();
        window_->ToolButton1Click();
        window_->cb->setCurrentIndex(1);
        window_->afl1->setText(Q(temp_ / "out"));
        window_->ToolButton3Click();
        EXPECT_EQ(dialogs_.failureBoxes, 1) << locale;
        EXPECT_EQ(dialogs_.boxes[0].caption, "Error!");
        EXPECT_EQ(dialogs_.boxes[0].file, file + Q(temp_ / "src/disk2.trd"));
        for (const int row : {2, 6, 9, 13, 17}) EXPECT_TRUE(Cell(row, 2).startsWith("Error")) << row;
        auto tip = [&](int row) { return window_->lv->item(row, 2)->toolTip(); };
        EXPECT_TRUE(tip(2).contains("257") && tip(2).contains(Q(temp_ / "src/disk2.trd"))) << tip(2).toStdString();
        EXPECT_TRUE(tip(13).contains(QString::fromLocal8Bit(std::strerror(EISDIR)))) << tip(13).toStdString();
        EXPECT_TRUE(tip(0).contains(Q(temp_ / "out/disk0.trd"))) << tip(0).toStdString();
        EXPECT_EQ(window_->STB1Summary->text(), summary);
        EXPECT_TRUE(window_->STB1Summary->isVisible());
    }
}

TEST_F(WindowTest, TheDesktopsFailureBoxNamesTheFileAndItsCheckBoxIsAnswered) {
    Open();
    QtDialogService desktop;
    for (const bool tick : {true, false}) {
        QTimer::singleShot(0, [tick] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(shown, nullptr);
            EXPECT_EQ(shown->text() + "|" + shown->windowTitle() + "|" + shown->informativeText(),
                      "Stream read error|Error!|Файл: /a/b.trd");
            EXPECT_EQ(shown->checkBox()->text(), "Больше не показывать до конца преобразования");
            shown->checkBox()->setChecked(tick);
            shown->accept();
        });
        EXPECT_EQ(desktop.ShowFileFailure(window_.get(), "Stream read error", "Error!", "Файл: /a/b.trd"), tick);
    }
}

}  // namespace
}  // namespace tarvex::gui
