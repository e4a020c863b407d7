#include "gui/image_viewer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>
#include <algorithm>
#include <filesystem>

#include "gui/format_selector.h"
#include "gui/program_folder.h"
#include "gui_test_support.h"
#include <cstring>
#include "disk/zx_disk.h"
#include "test_locale.h"

namespace tarvex::gui {
namespace {

using tarvex::test::MakeTrdBytes;
using tarvex::test::TempDir;

QColor PixelAt(SectorMapView& view, int column, int row, QPoint inside) {
    const QImage image = view.viewport()->grab().toImage();
    return image.pixelColor(SectorMapView::ColumnLeft(column) + inside.x(), row * kMapRowHeight + inside.y());
}

TEST(SectorMapViewTest, DrawsRaisedTilesInTheirColoursAndNothingWhenCleared) {
    TZX_Disk disk;
    SectorMapView view(disk);
    view.resize(900, 300);
    ASSERT_TRUE(disk.ParseTRD(MakeTrdBytes(2)));
    TSectorSlot& bad = *disk.Track(1)->Sector(3);
    bad.DataCrcOk = 0;
    view.Refresh();

    EXPECT_EQ(PixelAt(view, 0, 0, {1, 1}), QColor(255, 255, 0));
    EXPECT_EQ(PixelAt(view, 1, 0, {1, 1}), QColor(0, 255, 0));
    EXPECT_EQ(PixelAt(view, 1, 0, {0, 5}), QColor(Qt::white)) << "light left edge";
    EXPECT_EQ(PixelAt(view, 1, 0, {29, 5}), QColor(Qt::black)) << "dark right edge";
    EXPECT_EQ(PixelAt(view, 1, 0, {5, 13}), QColor(Qt::black)) << "dark bottom edge";
    EXPECT_EQ(PixelAt(view, 4, 1, {1, 1}), QColor(255, 0, 0));
    const QColor face = view.palette().color(QPalette::Button);
    EXPECT_EQ(PixelAt(view, 17, 0, {10, 5}), face) << "no seventeenth sector";
    EXPECT_EQ(PixelAt(view, 0, 2, {10, 5}), face) << "no third track";

    view.SetShowDisabledSectors(true);
    EXPECT_EQ(PixelAt(view, 0, 2, {0, 5}), QColor(Qt::white)) << "an absent track's plain tile";

    view.verticalScrollBar()->setValue(100);
    view.SetShowDisabledSectors(false);
    disk.Clear();
    EXPECT_EQ(view.verticalScrollBar()->value(), 0) << "clearing scrolls back to the first row";
    EXPECT_EQ(PixelAt(view, 0, 0, {1, 1}), face);
    EXPECT_EQ(PixelAt(view, 1, 0, {1, 1}), face);
}

TEST(SectorMapViewTest, ThreeDigitSectorNumbersAreDrawnWholeInsideTheirTile) {
    TZX_Disk disk;
    SectorMapView view(disk);
    view.resize(900, 300);
    disk.Track(0)->Used = kFlagSet;
    for (const auto& [slot, number] : {std::pair{0u, 93}, {1u, 193}, {2u, 255}, {3u, 1}}) {
        TSectorSlot& sector = *disk.Track(0)->Sector(slot);
        sector.Used = sector.DataCrcOk = kFlagSet;
        sector.SectorNo = static_cast<uint8_t>(number);
        sector.DataLength = 256;
    }
    view.Refresh();
    const QImage image = view.viewport()->grab().toImage();
    auto tile = [&](int column) { return image.copy(SectorMapView::ColumnLeft(column), 0, kSectorColumnWidth, 14); };
    EXPECT_NE(tile(1), tile(2)) << "193 is not drawn as 93";
    for (int y = 1; y < kMapRowHeight - 1; ++y)
        for (const int column : {2, 3, 4}) EXPECT_EQ(tile(column).pixelColor(0, y), QColor(Qt::white)) << column;
}

TEST(SectorMapViewTest, ASingleSidedDiskHasARowForEachOfItsTracksOnly) {
    InspectorDialog dialog(std::string(TARVEX_TEST_DATA) + "/corpus/dsk/zesarux-paw-plus3.dsk");
    ASSERT_TRUE(dialog.Loaded()) << dialog.Details().toStdString();
    std::vector<int> even;
    for (int track = 0; track < 80; track += 2) even.push_back(track);
    EXPECT_EQ(dialog.MapView()->Rows(), even);
    EXPECT_EQ(PixelAt(*dialog.MapView(), 0, 1, {1, 1}), QColor(255, 255, 0)) << "the second row is track 2's";
    dialog.ShowDisabledSectors()->setChecked(true);
    EXPECT_EQ(dialog.MapView()->Rows().size(), size_t{kMapRows}) << "the missing tracks are asked for";
}

TEST(InspectorTest, ReadsTheImageIntoItsOwnModel) {
    TempDir temp;
    const std::string path = temp / "disk.trd";
    tarvex::test::WriteFile(path, MakeTrdBytes(6));
    TZX_Disk runDisk;
    ASSERT_TRUE(runDisk.ParseTRD(MakeTrdBytes(1)));

    InspectorDialog dialog(path);
    EXPECT_TRUE(dialog.Loaded());
    EXPECT_EQ(dialog.Disk().CountTracks(), 6);
    EXPECT_EQ(runDisk.CountTracks(), 1);
    EXPECT_NE(dialog.Summary().indexOf("TRD, дорожек: 6, секторов: 96"), -1) << dialog.Summary().toStdString();
    EXPECT_FALSE(dialog.Disk().ShowDisabledSectors);
    dialog.ShowDisabledSectors()->setChecked(true);
    EXPECT_TRUE(dialog.Disk().ShowDisabledSectors);
}

TEST(InspectorTest, EnglishLocaleShowsEnglishSummaryAndDetails) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir temp;
    const std::string path = temp / "disk.trd";
    tarvex::test::WriteFile(path, MakeTrdBytes(6));
    InspectorDialog dialog(path);
    EXPECT_EQ(dialog.windowTitle(), "Image view - disk.trd");
    EXPECT_NE(dialog.Summary().indexOf("TRD, tracks: 6, sectors: 96"), -1) << dialog.Summary().toStdString();
    EXPECT_EQ(dialog.ShowDisabledSectors()->text(), "Show missing tracks and empty sectors");
    EXPECT_EQ(dialog.Details(), "No TR-DOS catalogue, comment or message.") << "the pattern disk has no catalogue";
    const InspectorDialog missing(temp / "gone.trd");
    EXPECT_TRUE(missing.Summary().contains("Error loading image: ")) << missing.Summary().toStdString();
    EXPECT_TRUE(missing.Details().startsWith("Message:\n")) << missing.Details().toStdString();
}

TEST(InspectorTest, ShowsTheReadersReasonWhenTheImageCannotBeRead) {
    TempDir temp;
    const std::string path = temp / "long.trd";
    tarvex::test::WriteFile(path, Bytes(257 * 4096));
    InspectorDialog dialog(path);
    EXPECT_FALSE(dialog.Loaded());
    EXPECT_NE(dialog.Summary().indexOf("Ошибка загрузки образа"), -1);
    EXPECT_NE(dialog.Details().indexOf("257"), -1) << dialog.Details().toStdString();

    InspectorDialog missing(temp / "gone.trd");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_NE(missing.Details().indexOf(QString::fromStdString(temp / "gone.trd") + "\": " + std::strerror(ENOENT)), -1)
        << missing.Details().toStdString();
}

// A TR-DOS disk whose catalogue lines are as wide as they come: every number at its widest, deleted entries.
Bytes WidestCatalogueTrd() {
    constexpr size_t kInfo = 8 * 256;  // sector 9 of track 0
    Bytes bytes(4 * 4096, 0);
    for (size_t entry = 0; entry < 128; ++entry) {
        uint8_t* e = &bytes[entry * 16];
        std::fill(e, e + 8, static_cast<uint8_t>('W'));
        e[0] = entry % 2 ? 0x01 : 'W';  // odd entries deleted
        e[8] = 'B';
        std::fill(e + 9, e + 16, 0xFF);
    }
    bytes[kInfo + 0xE1] = 255;
    bytes[kInfo + 0xE2] = 255;
    bytes[kInfo + 0xE3] = 0x16;
    bytes[kInfo + 0xE4] = 128;
    bytes[kInfo + 0xE5] = bytes[kInfo + 0xE6] = 0xFF;
    bytes[kInfo + 0xE7] = 0x10;
    bytes[kInfo + 0xF4] = 64;
    std::fill(&bytes[kInfo + 0xF5], &bytes[kInfo + 0xFD], static_cast<uint8_t>('W'));
    return bytes;
}

TEST(InspectorTest, TrdosCatalogueFitsWithoutSidewaysScrollingAtTheDefaultSize) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir temp;
    const std::string path = temp / "wide.trd";
    tarvex::test::WriteFile(path, WidestCatalogueTrd());
    InspectorDialog dialog(path);
    ASSERT_TRUE(dialog.Loaded());
    EXPECT_NE(dialog.Details().indexOf("  TR-DOS disk: label \"WWWWWWWW\"\n  disk type 0x16\n  files 128 (deleted 64)\n"
                                       "  free sectors 65535\n  first free track 255 sector 255\n  catalogue:\n"
                                       "    #  name     type  start length sectors track sector\n"
                                       "    1  WWWWWWWW  B  65535  65535     255   255    255\n"),
              -1)
        << dialog.Details().toStdString();
    EXPECT_NE(dialog.Details().indexOf("deleted\n"), -1);
    for (const char* locale : {tarvex::test::kEnglishLocale, tarvex::test::kRussianLocale}) {
        const tarvex::test::ScopedLocale language(locale);
        InspectorDialog shown(path);
        shown.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(shown.DetailsView()->horizontalScrollBar()->maximum(), 0) << locale << " " << shown.width();
        EXPECT_EQ(shown.MapView()->horizontalScrollBar()->maximum(), 0) << locale;
        EXPECT_EQ(shown.width(), 1200) << locale << ": within a 1280-wide screen";
    }
}

TEST(InspectorTest, DetailsCarryMessageAndComment) {
    TZX_Disk disk;
    disk.StatusMessage = "Created 01.02.1999";
    disk.Comment = {"first line", "второй"};
    const QString details = InspectorDetails(disk, true, "");
    EXPECT_NE(details.indexOf("Сообщение:\nCreated 01.02.1999"), -1);
    EXPECT_NE(details.indexOf("Комментарий:\nfirst line\nвторой"), -1);
}

TEST(InspectorTest, DetailsTellWhatTheDiskHoldsBeyondPlainSectors) {
    TZX_Disk disk;
    EXPECT_EQ(InspectorDetails(disk, true, "").indexOf("Сверх"), -1);
    TTrack& t = *disk.Track(3);
    t.Used = kFlagSet;
    t.Sectors[0] = {.Used = kFlagSet, .SectorNo = 1, .DataCrcOk = kFlagSet, .DataLength = 256};
    t.Sectors[0].DeletedData = kFlagSet;
    EXPECT_NE(InspectorDetails(disk, true, "").indexOf("меток удалённых данных: 1 (дорожка 3)"), -1)
        << InspectorDetails(disk, true, "").toStdString();
}

TEST(InspectorTest, RealTd0WithDataFieldsWithoutAnIdShowsTheirCount) {
    InspectorDialog dialog((tarvex::test::CorpusDir() / "td0" / "ecat2-216adv.td0").string());
    ASSERT_TRUE(dialog.Loaded());
    EXPECT_NE(dialog.Details().indexOf("полей данных без заголовка: 160 (дорожки 0-159)"), -1)
        << dialog.Details().toStdString();
    EXPECT_NE(dialog.Summary().indexOf("секторов: 3040"), -1) << dialog.Summary().toStdString();
}

TEST(InspectorTest, RealTrdosImageOpensFromTheWindowWithoutTouchingTheRunModel) {
    const auto files = tarvex::test::CorpusFiles("trd");
    ASSERT_FALSE(files.empty());
    TempDir temp;
    tarvex::test::ScopedEnv config("XDG_CONFIG_HOME", temp / "config");
    test::FakeDialogs dialogs;
    WindowOptions options;
    options.dialogs = &dialogs;
    options.programFolder = temp / "";
    TFMain window(options);
    window.show();
    dialogs.files = {QString::fromStdString(files.front().string())};
    window.ToolButton1Click();
    window.lv->selectRow(0);
    EXPECT_TRUE(window.ToolButtonInspect->isEnabled());
    InspectorDialog* dialog = window.InspectRow(0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->Loaded());
    EXPECT_GT(dialog->Disk().CountTracks(), 0);
    EXPECT_EQ(window.RunDisk().CountTracks(), 0);
    dialog->close();
}

}  // namespace
}  // namespace tarvex::gui

namespace tarvex::gui {
namespace {

TEST(ProgramFolderTest, ExecutableFolderWhenWritableElseTheDataFolder) {
    EXPECT_EQ(ChooseProgramFolder("/opt/tarvex/bin", true, "/x/data", "/home/u"), "/opt/tarvex/bin/");
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", false, "/x/data", "/home/u"), "/x/data/tarvex/");
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", false, "", "/home/u"), "/home/u/.local/share/tarvex/");
    EXPECT_EQ(ChooseProgramFolder("/usr/bin", false, "relative", "/home/u"), "/home/u/.local/share/tarvex/");
}

TEST(DialogFilterTest, PairsBecomeNameFiltersWithBothLetterCases) {
    const QStringList filters = NameFiltersFromPairs(AddDialogFilter());
    ASSERT_EQ(filters.size(), 11);
    EXPECT_EQ(filters[0], "Универсальный образ диска (*.udi) (*.udi *.UDI)");
    EXPECT_EQ(filters[7], "Образ дискеты HxC (*.hfe) (*.hfe *.HFE)");
    EXPECT_EQ(filters[8], "Образ диска Amstrad CPC / Spectrum +3 (*.dsk) (*.dsk *.DSK)");
    EXPECT_EQ(filters[9], "Поддерживаемые форматы (*.udi,*.trd,*.td0,*.fdi,*.pro,*.scl,*.kdi,*.hfe,*.dsk) "
                          "(*.fdi *.FDI *.trd *.TRD *.udi *.UDI *.td0 *.TD0 *.pro *.PRO *.scl *.SCL *.kdi *.KDI "
                          "*.hfe *.HFE *.dsk *.DSK)");
    EXPECT_EQ(filters[10], "Все файлы (*)");
}

}  // namespace
}  // namespace tarvex::gui

namespace tarvex::gui {
namespace {

unsigned FileCount(const Bytes& trd) { return trd[8 * 256 + 0xE4]; }

// The viewer's file buttons change only its own disk; the image is written when the user saves it, over the
// source only after a Yes, into another folder never over a file that is there.
TEST(ImageViewerFilesTest, ExtractAddDeleteAndSaveOnlyWhenAsked) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir temp;
    const std::string source = temp / "game.trd";
    std::filesystem::copy_file(std::filesystem::path(TARVEX_TEST_DATA) / "corpus/trd/zxtune-tiden.trd", source);
    const Bytes original = tarvex::test::ReadFile(source);
    test::FakeDialogs dialogs;
    InspectorDialog dialog(source, nullptr, &dialogs);
    ASSERT_EQ(dialog.FilesView()->rowCount(), static_cast<int>(FileCount(original)));

    std::filesystem::create_directory(temp / "out");
    dialog.ExtractFilesTo(QString::fromStdString(temp / "out"));
    EXPECT_EQ(static_cast<unsigned>(std::distance(std::filesystem::directory_iterator(temp / "out"), {})),
              FileCount(original));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_FALSE(dialogs.boxes[0].text.contains("File exists!"));
    dialog.ExtractFilesTo(QString::fromStdString(temp / "out"));
    EXPECT_TRUE(dialogs.boxes[1].text.contains("File exists!")) << "an extracted file is never replaced";

    tarvex::test::WriteFile(temp / "NEW.C", Bytes(600, 0x5A));
    const QString hobeta = QString::fromStdString(std::filesystem::directory_iterator(temp / "out")->path().string());
    dialog.AddFiles({QString::fromStdString(temp / "NEW.C"), hobeta});
    EXPECT_TRUE(dialogs.boxes.back().text.contains("is already on the disk")) << "the Hobeta file is there";
    EXPECT_TRUE(dialog.Changed());
    EXPECT_EQ(dialog.FilesView()->rowCount(), static_cast<int>(FileCount(original)) + 1);
    dialog.FilesView()->selectRow(0);
    dialog.DeleteSelectedFiles();
    EXPECT_TRUE(tarvex::test::ReadFile(source) == original) << "nothing written before saving";

    dialogs.answers = {false};
    dialog.reject();
    EXPECT_TRUE(dialog.Changed()) << "No keeps the view open with its changes";
    std::filesystem::create_directory(temp / "saved");
    ASSERT_TRUE(dialog.SaveIntoFolder(QString::fromStdString(temp / "saved")));
    const Bytes saved = tarvex::test::ReadFile(temp / "saved/game.trd");
    EXPECT_EQ(FileCount(saved), FileCount(original) + 1);
    EXPECT_EQ(saved[0], 0x01) << "the first file deleted";
    EXPECT_TRUE(tarvex::test::ReadFile(source) == original);

    dialog.FilesView()->selectRow(1);
    dialog.DeleteSelectedFiles();
    EXPECT_FALSE(dialog.SaveIntoFolder(QString::fromStdString(temp / "saved"))) << "the earlier save is kept";
    dialogs.answers = {false, true};
    EXPECT_FALSE(dialog.SaveOverSource());
    EXPECT_TRUE(tarvex::test::ReadFile(source) == original);
    EXPECT_TRUE(dialog.SaveOverSource());
    const Bytes replaced = tarvex::test::ReadFile(source);
    EXPECT_EQ(replaced[16], 0x01) << "the second file deleted too";
    EXPECT_FALSE(dialog.Changed());
}

}  // namespace
}  // namespace tarvex::gui
