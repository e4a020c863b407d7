#include "app/conversion_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "app/format_table.h"
#include "io/text_1251.h"
#include "test_support.h"
#include <cstring>
#include "disk/zx_disk.h"
#include "test_locale.h"
#include <algorithm>

namespace tarvex {
namespace {

using test::MakeTrdBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A user interface that records what the driver did and answers questions from a script.
class RecordingUi : public ConversionUi {
public:
    struct Row {
        std::vector<std::string> cells;  // path, result
    };
    std::vector<Row> rows;
    int format = kTRD;
    std::string folder;
    bool intoFolder = false;
    bool logging = true;

    std::function<bool(const std::string&)> answer = [](const std::string&) { return true; };
    std::function<void()> onPump;
    std::vector<std::string> questions, messages, events;
    std::vector<std::string> failureFiles;  // the lines naming the file of each failure box
    size_t noMoreFailuresAt = 0;            // the failure box whose check box is ticked (1 = the first)
    std::vector<std::string> details;       // each row's tool tip
    std::vector<std::string> summaries;
    bool progressVisible = false;
    int position = -1;
    std::string counter;
    bool selectorEnabled = true;

    void AddRow(const std::string& path) { rows.push_back({{path, "..."}}); }
    std::string Result(size_t i) const { return rows[i].cells[1]; }

    bool AskYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back(caption + "|" + text);
        return answer(text);
    }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(caption + "|" + text);
    }
    bool ShowFileFailure(const std::string& text, const std::string& caption, const std::string& file) override {
        messages.push_back(caption + "|" + text);
        failureFiles.push_back(file);
        return failureFiles.size() == noMoreFailuresAt;
    }
    void ShowRunSummary(const std::string& text) override { summaries.push_back(text); }
    void PumpEvents() override {
        events.push_back("pump");
        if (onPump) onPump();
    }
    void ShowProgress() override {
        progressVisible = true;
        events.push_back("show");
    }
    void HideProgress() override {
        progressVisible = false;
        events.push_back("hide");
    }
    void SetProgress(int pos, const std::string& text) override {
        position = pos;
        counter = text;
    }
    void SetFormatSelectorEnabled(bool enabled) override { selectorEnabled = enabled; }
    void SetRowResult(size_t row, const std::string& text, const std::string& detail) override {
        rows[row].cells[1] = text;
        details.resize(rows.size());
        details[row] = detail;
    }
    size_t RowCount() override { return rows.size(); }
    std::vector<std::string> RowCells(size_t row) override { return rows[row].cells; }
    int TargetFormat() override { return format; }
    std::string OutputFolder() override { return folder; }
    bool SaveIntoFolder() override { return intoFolder; }
    bool LoggingEnabled() override { return logging; }
};

LocalTime FixedTime() { return {2026, 3, 7, 9, 5, 2, 45}; }

// The messages of the log lines, without their time stamps.
std::vector<std::string> Messages(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.substr(l.find("| ") + 2));
    return out;
}

struct DriverTest : ::testing::Test {
    TempDir dir;
    TZX_Disk disk;
    RecordingUi ui;
    ConversionDriver driver{disk, ui, FixedTime};
    DriverTest() { driver.SetLogFileName(dir / "log.txt"); }
    std::string MakeTrd(const std::string& name, unsigned tracks = 4) {
        WriteFile(dir / name, MakeTrdBytes(tracks));
        return dir / name;
    }
};

TEST_F(DriverTest, WhatAnOutputLacksGoesToTheRowsToolTipAndTheLog) {
    const std::string cut = MakeTrd("cut.trd", 2);
    Bytes bytes = ReadFile(cut);
    bytes.resize(bytes.size() - 256);
    WriteFile(cut, bytes);
    ui.AddRow(cut);
    ui.format = kUDI;
    ui.intoFolder = true;
    ui.folder = dir / "out";
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "Converted!");
    const std::string loss = "потеряно: секторов, которых нет в файле: 1 (дорожка 1)";
    EXPECT_EQ(ui.details[0], "Образ сохранен в файл \"" + dir / "out/cut.udi" + "\"\n" + loss);
    EXPECT_THAT(driver.LogLines(), Contains(EndsWith(loss)));
}

TEST_F(DriverTest, ThreeFilesWithAFailingMiddleOne) {
    const std::string a = MakeTrd("a.trd"), c = MakeTrd("c.trd");
    const std::string b = dir / "b.trd";
    WriteFile(b, Bytes{'F', 'D', 'I', 0, 1, 0, 2});  // an FDI by its content, cut inside its header
    ui.AddRow(a);
    ui.AddRow(b);
    ui.AddRow(c);
    ui.format = kTRD;
    ui.intoFolder = true;
    ui.folder = dir / "out";

    driver.ToolButton3Click();

    EXPECT_EQ(ui.Result(0), "Converted!");
    EXPECT_EQ(ui.Result(1), "Error open file!");
    EXPECT_EQ(ui.Result(2), "Converted!");
    EXPECT_EQ(ui.counter, "3 / 3");
    EXPECT_EQ(ui.position, 100);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_FALSE(driver.Busy);
    EXPECT_TRUE(ui.selectorEnabled);
    EXPECT_THAT(ui.messages, ElementsAre("Error!|Stream read error"));
    const std::string out = dir / "out";
    EXPECT_THAT(Messages(driver.LogLines()),
                ElementsAre("Начало конвертирования образов.",
                            "Не найден каталог сохранения образов \"" + out + "\"",
                            "Создание каталога \"" + out + "\"",
                            "Открытие файла \"" + a + "\"", "Файл открыт \"" + a + "\"",
                            "Создание образа \"" + out + "/a.trd\"", "Образ сохранен в файл \"" + out + "/a.trd\"",
                            "Открытие файла \"" + b + "\"",
                            "Ошибка загрузки образа \"" + b + "\" (Stream read error)",
                            "Открытие файла \"" + c + "\"", "Файл открыт \"" + c + "\"",
                            "Создание образа \"" + out + "/c.trd\"", "Образ сохранен в файл \"" + out + "/c.trd\"",
                            "Конвертирование завершено."));
    EXPECT_EQ(ReadFile(out + "/a.trd"), ReadFile(a));

    // The log file holds exactly the lines, in Windows-1251 with CR LF.
    std::string expected;
    for (const auto& l : driver.LogLines()) expected += Utf8ToCp1251(l) + "\r\n";
    const Bytes file = ReadFile(dir / "log.txt");
    EXPECT_EQ(std::string(file.begin(), file.end()), expected);
    EXPECT_EQ(driver.LogLines()[0], "07.03.26 09:05:02:045| Начало конвертирования образов.");
}

TEST_F(DriverTest, EmptyListShowsZeroOfZeroAndFinishes) {
    driver.ToolButton3Click();
    EXPECT_EQ(ui.counter, "0 / 0");
    EXPECT_THAT(ui.events, ElementsAre("show", "hide"));
    EXPECT_THAT(Messages(driver.LogLines()),
                ElementsAre("Начало конвертирования образов.", "Конвертирование завершено."));
}

TEST_F(DriverTest, OutputLandsBesideTheSourceWhenNotSavingIntoAFolder) {
    const std::string src = MakeTrd("game.TRD");
    ui.AddRow(src);
    ui.format = kPRO;  // fails: wrong sector size, so the message and the result are the writer's
    ui.folder = dir / "never-created";
    driver.ToolButton3Click();
    EXPECT_FALSE(std::filesystem::exists(dir / "never-created"));
    EXPECT_EQ(ui.Result(0), "Error save file!");
    EXPECT_THAT(ui.messages, ElementsAre("Error!|Not Profi CPM disk format! Bad sector size! (T-0 / S-1: 256 байт)"));
    EXPECT_FALSE(std::filesystem::exists(dir / "game.pro")) << "a failing writer leaves no file";
    EXPECT_THAT(Messages(driver.LogLines()),
                ::testing::Contains("Ошибка создания образа \"" + (dir / "game.pro") +
                                    "\" (Not Profi CPM disk format! Bad sector size! (T-0 / S-1: 256 байт))"));
}

TEST_F(DriverTest, DecliningTheFolderCancelsTheRunBeforeAnyFile) {
    ui.AddRow(MakeTrd("a.trd"));
    ui.intoFolder = true;
    ui.folder = dir / "missing";
    ui.answer = [](const std::string&) { return false; };
    driver.ToolButton3Click();
    EXPECT_THAT(ui.questions, ElementsAre("Ошибка!|Не найден каталог сохранения образов! Создать?"));
    EXPECT_EQ(ui.Result(0), "...");
    EXPECT_FALSE(driver.Busy);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_EQ(Messages(driver.LogLines()).back(),
              "Отмена создания каталога \"" + (dir / "missing") + "\". Процесс отменен.");
    EXPECT_THAT(ui.summaries, ElementsAre("", "Преобразовано: 0, ошибок: 0")) << "cleared at the start, then given";
}

TEST_F(DriverTest, OverwriteQuestionOnlyAnExplicitYesReplaces) {
    const std::string src = MakeTrd("same.trd", 2);
    const Bytes original = ReadFile(src);
    ui.AddRow(src);
    ui.answer = [](const std::string&) { return false; };  // No, or the box closed
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "File exists!");
    EXPECT_THAT(ui.questions, ElementsAre("Внимание..!|Файл " + src + " уже существует! Перезаписать?"));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ReadFile(src), original);
    EXPECT_EQ(Messages(driver.LogLines())[4], "Отмена. Файл \"" + src + "\" уже существует.");

    ui.answer = [](const std::string&) { return true; };
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "Converted!");
    EXPECT_EQ(ReadFile(src), original) << "converting onto itself rewrites the same bytes";
}

TEST_F(DriverTest, StopAskedAfterASuccessfulLoad) {
    for (auto name : {"a.trd", "b.trd", "c.trd"}) ui.AddRow(MakeTrd(name));
    ui.onPump = [&] {
        if (ui.events.size() == 2) driver.BitBtn1Click();  // Stop pressed while the first file is read
    };
    ui.answer = [](const std::string& q) { return q != "Остановить процесс?"; };  // No: go on
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "Converted!") << "answering No goes on with writing the file just read";
    EXPECT_EQ(ui.Result(2), "Converted!");
    EXPECT_EQ(std::count(ui.questions.begin(), ui.questions.end(), "Внимание!|Остановить процесс?"), 1);
    EXPECT_FALSE(driver.StopRequested);

    // Yes: the run ends at once, the file just read is not written and keeps its text.
    ui.rows.clear();
    for (auto name : {"d.trd", "e.trd"}) ui.AddRow(MakeTrd(name));
    ui.format = kPRO;
    ui.events.clear();
    ui.onPump = [&] { driver.BitBtn1Click(); };
    ui.answer = [](const std::string&) { return true; };
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "...");
    EXPECT_EQ(ui.Result(1), "...");
    EXPECT_FALSE(driver.Busy);
    EXPECT_FALSE(driver.StopRequested);
    EXPECT_TRUE(ui.selectorEnabled);
    EXPECT_EQ(Messages(driver.LogLines()).back(), "Процесс остановлен пользователем.");
    EXPECT_EQ(ui.summaries.back(), "Преобразовано: 0, ошибок: 0");
}

TEST_F(DriverTest, BrokenListRowEndsTheRun) {
    ui.rows.push_back({{"only-a-path.trd"}});
    driver.ToolButton3Click();
    EXPECT_THAT(ui.messages, ElementsAre("Ошибка!|Ошибка в списке образов! Перезапустите программу!"));
    EXPECT_EQ(Messages(driver.LogLines()).back(), "Ошибка в списке образов. Завершение процесса.");
    EXPECT_FALSE(driver.Busy);
}

TEST_F(DriverTest, EnglishLocaleGivesEnglishQuestionsMessagesAndLogLinesAndTheSameResults) {
    const test::ScopedLocale english(test::kEnglishLocale);
    const std::string a = MakeTrd("a.trd");
    WriteFile(dir / "notes.txt", Bytes{1});
    ui.AddRow(a);
    ui.AddRow(dir / "notes.txt");
    ui.intoFolder = true;
    ui.folder = dir / "new";
    const std::string out = dir / "new/a.trd";
    driver.ToolButton3Click();
    EXPECT_THAT(ui.questions, ElementsAre("Error!|Output folder not found! Create it?"));
    EXPECT_THAT(ui.messages, ElementsAre("Error!|This file type is not supported!"));
    EXPECT_EQ(ui.Result(0), "Converted!");
    EXPECT_EQ(ui.Result(1), "Error open file!");
    EXPECT_THAT(Messages(driver.LogLines()),
                ElementsAre("Conversion started.", "Output folder \"" + (dir / "new") + "\" not found",
                            "Creating folder \"" + (dir / "new") + "\"", "Opening file \"" + a + "\"",
                            "Opened file \"" + a + "\"", "Creating image \"" + out + "\"",
                            "Image saved to file \"" + out + "\"", "Opening file \"" + (dir / "notes.txt") + "\"",
                            "Error loading image \"" + (dir / "notes.txt") + "\" (This file type is not supported!)",
                            "Conversion finished."));

    ui.questions.clear();
    ui.answer = [](const std::string&) { return false; };
    driver.ToolButton3Click();
    EXPECT_THAT(ui.questions, ElementsAre("Warning!|File " + out + " already exists! Overwrite it?"));
    EXPECT_EQ(ui.Result(0), "File exists!");
    EXPECT_THAT(Messages(driver.LogLines()), ::testing::Contains("Skipped: file \"" + out + "\" already exists."));
    const Bytes log = ReadFile(dir / "log.txt");
    EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](uint8_t b) { return b >= 0x80; })) << "English is plain ASCII";
}

TEST_F(DriverTest, UnsupportedOrMissingSourcesFailThatFileOnly) {
    ui.AddRow(dir / "noext");
    ui.AddRow(dir / "deleted.trd");
    ui.AddRow(MakeTrd("ok.trd"));
    ui.format = kKDI;
    disk.StatusMessage = "left from before";
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "Error open file!");
    EXPECT_EQ(ui.Result(1), "Error open file!");
    EXPECT_EQ(ui.Result(2), "Error save file!");
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0], "Error!|Данный тип файлов не поддерживается!");
    EXPECT_THAT(ui.messages[1],
                AllOf(StartsWith("Error!|"), HasSubstr(dir / "deleted.trd"), HasSubstr(std::strerror(ENOENT))))
        << "a file gone since it was listed is reported with the system's reason, not the model's old status";
}

TEST_F(DriverTest, FoldersAndEndlessSourcesFailWithTheirCauseAsInTheCommandLine) {
    std::filesystem::create_directory(dir.path() / "f.scl");
    std::filesystem::create_symlink("/dev/zero", dir.path() / "z.kdi");
    ui.AddRow(dir / "f.scl");
    ui.AddRow(dir / "z.kdi");
    ui.AddRow(MakeTrd("ok.trd"));
    ui.format = kFDI;
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "Error open file!");
    EXPECT_EQ(ui.Result(1), "Error open file!");
    EXPECT_EQ(ui.Result(2), "Converted!");
    const std::string isDirectory = std::strerror(EISDIR);
    EXPECT_THAT(ui.messages, ElementsAre("Error!|" + isDirectory, AllOf(StartsWith("Error!|"), HasSubstr("1310720"))));
    EXPECT_THAT(Messages(driver.LogLines()),
                ::testing::Contains(Quoted("Ошибка загрузки образа ", dir / "f.scl", " (" + isDirectory + ")")));
}

TEST_F(DriverTest, UnwritableOutputFolderIsThatFilesFailure) {
    ui.AddRow(MakeTrd("a.trd"));
    ui.AddRow(MakeTrd("b.trd"));
    ui.intoFolder = true;
    ui.folder = (dir.path() / "no" / "such" / "deep").string();  // only one level is created, so this stays missing
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "Error save file!");
    EXPECT_EQ(ui.Result(1), "Error save file!");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_THAT(ui.messages[0], HasSubstr(std::strerror(ENOENT)));
    EXPECT_FALSE(driver.Busy);
}

TEST_F(DriverTest, LogFileFailureIsReportedOncePerRunAndTheRunGoesOn) {
    driver.SetLogFileName((dir.path() / "missing-folder" / "log.txt").string());
    ui.AddRow(MakeTrd("a.trd"));
    ui.format = kSCL + 100;  // a hand-edited target index never starts a run
    driver.ToolButton3Click();
    EXPECT_TRUE(driver.LogLines().empty());
    ui.format = kTRD;
    ui.answer = [](const std::string&) { return true; };
    driver.ToolButton3Click();
    EXPECT_EQ(ui.Result(0), "Converted!");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_THAT(ui.messages[0], HasSubstr("log.txt"));
    EXPECT_GT(driver.LogLines().size(), 3u);
}

TEST_F(DriverTest, LoggingOffWritesNothingAndKeepsOldLines) {
    ui.AddRow(MakeTrd("a.trd"));
    ui.answer = [](const std::string&) { return true; };
    driver.ToolButton3Click();
    const size_t lines = driver.LogLines().size();
    ui.logging = false;
    driver.ToolButton3Click();
    EXPECT_EQ(driver.LogLines().size(), lines);
    ui.logging = true;
    driver.ToolButton3Click();
    EXPECT_EQ(driver.LogLines().size(), lines) << "a new run with logging on starts a fresh log";
    const Bytes file = ReadFile(dir / "log.txt");
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), static_cast<long>(lines));
}

// Twenty TRD files, five of which fail: four cannot be read (too long twice, gone, under a track), one cannot be
// written (a folder has taken its output's name). Each run ticks "no more" in one failure box (0: in none).
TEST_F(DriverTest, BatchWithFailuresOneBoxPerTickToolTipsAndSummary) {
    const std::vector<size_t> failing = {2, 6, 9, 13, 17};
    for (size_t i = 0; i < 20; ++i) {
        const std::string path = MakeTrd("disk" + std::to_string(i) + ".trd", 2);
        if (i == 2 || i == 17) WriteFile(path, Bytes(257 * 4096, 0xE5));
        if (i == 9) WriteFile(path, Bytes(2048, 0));
        if (i == 6) std::filesystem::remove(path);
        ui.AddRow(path);
    }
    std::filesystem::create_directories(dir / "out/disk13.trd");
    ui.intoFolder = true;
    ui.folder = dir / "out";
    auto out = [&](size_t row) { return dir / ("out/disk" + std::to_string(row) + ".trd"); };
    for (const auto& [tickAt, boxes] : {std::pair<size_t, size_t>{1, 1}, {3, 3}, {0, 5}}) {
        ui.failureFiles.clear();
        ui.noMoreFailuresAt = tickAt;
        driver.ToolButton3Click();
        ASSERT_EQ(ui.failureFiles.size(), boxes) << "ticked at " << tickAt;
        for (size_t k = 0; k < boxes; ++k)
            EXPECT_THAT(ui.failureFiles[k], StartsWith("Файл: " + ui.rows[failing[k]].cells[0]));
        EXPECT_EQ(ui.summaries.back(), "Преобразовано: 15, ошибок: 5");
    }
    EXPECT_EQ(ui.failureFiles[3], "Файл: " + ui.rows[13].cells[0] + "\nВыходной файл: " + out(13));
    EXPECT_THAT(ui.messages.front(), AllOf(StartsWith("Error!|"), HasSubstr("257"))) << "the reader's words";
    for (size_t row = 0; row < 20; ++row) {
        const bool fails = std::find(failing.begin(), failing.end(), row) != failing.end();
        if (!fails) EXPECT_EQ(ui.details[row], "Образ сохранен в файл \"" + out(row) + "\"");
        if (fails && row != 13)
            EXPECT_THAT(ui.details[row], StartsWith(Quoted("Ошибка загрузки образа ", ui.rows[row].cells[0], " (")));
    }
    EXPECT_THAT(ui.details[13], AllOf(HasSubstr(out(13)), HasSubstr(std::strerror(EISDIR))));
    EXPECT_THAT(ui.details[6], HasSubstr(std::strerror(ENOENT)));

    ui.answer = [](const std::string&) { return false; };  // outputs kept are counted apart
    std::filesystem::remove(out(13));
    driver.ToolButton3Click();
    EXPECT_EQ(ui.summaries.back(), "Преобразовано: 1, пропущено: 15, ошибок: 4");
    EXPECT_EQ(ui.details[3], "Отмена. Файл \"" + out(3) + "\" уже существует.");
    const test::ScopedLocale english(test::kEnglishLocale);
    EXPECT_EQ(RunSummary({48, 0, 2}), "48 converted, 2 failed");
    EXPECT_EQ(RunSummary({46, 2, 1}), "46 converted, 2 skipped, 1 failed");
}

TEST(FormatTable, ExtensionsAndOutputNames) {
    EXPECT_EQ(FormatByExtension("/x/GAME.Trd"), kTRD);
    EXPECT_EQ(FormatByExtension("/x/game.td0"), kTD0);
    EXPECT_EQ(FormatByExtension("/x/game.trd1"), kTRD) << "three letters after the dot are compared";
    EXPECT_EQ(FormatByExtension("/x.d/game"), std::nullopt);
    EXPECT_EQ(FormatByExtension("/x/game.tr"), std::nullopt);
    EXPECT_EQ(FormatByName("ScL"), kSCL);

    EXPECT_EQ(OutputFileName("/img/game.TRD", kUDI, std::nullopt), "/img/game.udi");
    EXPECT_EQ(OutputFileName("/img/my.game.trd", kSCL, std::nullopt), "/img/my.game.scl");
    EXPECT_EQ(OutputFileName("/img.d/game", kFDI, std::nullopt), "/img.d/game.fdi");
    EXPECT_EQ(OutputFileName("/img/game.trd", kKDI, std::string("/out")), "/out/game.kdi");
    EXPECT_EQ(OutputFileName("/img/game.trd", kKDI, std::string("/out/")), "/out//game.kdi")
        << "the separator is added whatever the folder text ends in";
    EXPECT_EQ(OutputFileName("game.trd", kTD0, std::nullopt), "game.td0");
}

}  // namespace
}  // namespace tarvex
