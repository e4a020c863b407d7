#include "app/conversion_driver.h"

#include <filesystem>
#include <system_error>

#include "app/format_table.h"
#include "formats/image_file.h"

namespace tarvex {

namespace {
bool DirectoryExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}
}  // namespace

std::string Quoted(const std::string& beginning, const std::string& value, const std::string& ending) {
    return beginning + "\"" + value + "\"" + ending;
}

void ConversionDriver::WriteLog(const std::string& text) {
    if (auto error = log_.WriteLog(text); error && !logErrorShown_) {
        logErrorShown_ = true;
        ui_.ShowMessage(*error, "Error!");
    }
}

void ConversionDriver::EndRun() {
    ui_.HideProgress();
    Busy = false;
    ui_.SetFormatSelectorEnabled(true);
    StopRequested = false;
}

void ConversionDriver::ToolButton3Click() {
    if (Busy) return;
    const int format = ui_.TargetFormat();
    if (format < 0 || format >= kFormatCount) return;  // only a hand-edited setting gets here
    Busy = true;
    ui_.SetFormatSelectorEnabled(false);
    StopRequested = false;
    logErrorShown_ = false;
    if (ui_.LoggingEnabled() && !log_.LogLines.empty()) log_.ClearLines();

    Log("Начало конвертирования образов.");

    if (ui_.SaveIntoFolder() && !DirectoryExists(ui_.OutputFolder())) {
        const std::string folder = ui_.OutputFolder();
        Log(Quoted("Не найден каталог сохранения образов ", folder));
        if (ui_.AskYesNo("Не найден каталог сохранения образов! Создать?", "Ошибка!")) {
            Log(Quoted("Создание каталога ", folder));
            std::error_code ec;
            std::filesystem::create_directory(folder, ec);  // a failure shows when the files are written
        } else {
            Log(Quoted("Отмена создания каталога ", folder, ". Процесс отменен."));
            EndRun();
            return;
        }
    }

    ui_.SetProgress(0, "0 / " + std::to_string(ui_.RowCount()));
    ui_.ShowProgress();

    for (size_t i = 0; i < ui_.RowCount(); ++i) {
        if (!ConvertRow(i)) return;
        const size_t done = i + 1, rows = ui_.RowCount();
        ui_.SetProgress(static_cast<int>(RoundHalfEven(100 * static_cast<long long>(done), static_cast<long long>(rows))),
                        std::to_string(done) + " / " + std::to_string(rows));
    }

    ui_.HideProgress();
    Busy = false;
    ui_.SetFormatSelectorEnabled(true);
    Log("Конвертирование завершено.");
}

// One row of the list; false when the run has ended (list error or a confirmed stop).
bool ConversionDriver::ConvertRow(size_t i) {
    const std::vector<std::string> cells = ui_.RowCells(i);
    if (cells.size() < 2) {
        Log("Ошибка в списке образов. Завершение процесса.");
        ui_.ShowMessage("Ошибка в списке образов! Перезапустите программу!", "Ошибка!");
        EndRun();
        return false;
    }
    const std::string& path = cells[0];
    Log(Quoted("Открытие файла ", path));
    std::string message;
    if (!LoadImage(path, message)) {
        Log(Quoted("Ошибка загрузки образа ", path, " (" + message + ")"));
        ui_.ShowMessage(message, "Error!");
        ui_.SetRowResult(i, kResultOpenError);
        return true;
    }
    Log(Quoted("Файл открыт ", path));
    ui_.PumpEvents();
    if (StopRequested) {
        if (ui_.AskYesNo("Остановить процесс?", "Внимание!")) {
            EndRun();
            Log("Процесс остановлен пользователем.");
            return false;
        }
        StopRequested = false;
    }

    const std::optional<std::string> folder =
        ui_.SaveIntoFolder() ? std::optional<std::string>(ui_.OutputFolder()) : std::nullopt;
    const std::string out = OutputFileName(path, ui_.TargetFormat(), folder);
    Log(Quoted("Создание образа ", out));
    if (SaveImage(out, message)) {
        ui_.SetRowResult(i, kResultConverted);
        Log(Quoted("Образ сохранен в файл ", out));
    } else if (message == kAlreadyExists) {
        Log(Quoted("Отмена. Файл ", out, " уже существует."));
        ui_.SetRowResult(i, kResultExists);
    } else {
        Log(Quoted("Ошибка создания образа ", out, " (" + message + ")"));
        ui_.SetRowResult(i, kResultSaveError);
        ui_.ShowMessage(message, "Error!");
    }
    return true;
}

bool ConversionDriver::LoadImage(const std::string& fileName, std::string& message) {
    std::string reason;
    if (ReadImageFile(zxd, fileName, reason)) return true;
    message = reason;
    return false;
}

bool ConversionDriver::SaveImage(const std::string& fileName, std::string& message) {
    message.clear();
    if (FileExists(fileName) &&
        !ui_.AskYesNo("Файл " + fileName + " уже существует! Перезаписать?", "Внимание..!")) {
        message = kAlreadyExists;
        return false;
    }
    return WriteImageFile(zxd, ui_.TargetFormat(), fileName, false, message);
}

}  // namespace tarvex
