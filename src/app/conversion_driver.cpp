// The window's run: the loop over the list's rows, the output folder's question, progress and Stop; each
// row is converted by the shared conversion step with the window's questions and log.
#include "app/conversion_driver.h"

#include <filesystem>
#include <functional>
#include <system_error>

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "app/shared_texts.h"
#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/image_file.h"

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
        ui_.ShowMessage(*error, TrIn("failure caption", "Error!"));
    }
}

std::string RunSummary(const RunCounts& counts) {
    const std::string converted = std::to_string(counts.converted), failed = std::to_string(counts.failed);
    if (counts.skipped == 0) return Fill(Tr("%s converted, %s failed"), {converted, failed});
    return Fill(Tr("%s converted, %s skipped, %s failed"), {converted, std::to_string(counts.skipped), failed});
}

// An early end: a cancel, a list error or a stop.
void ConversionDriver::EndRun() {
    ui_.HideProgress();
    Busy = false;
    ui_.SetFormatSelectorEnabled(true);
    StopRequested = false;
    ui_.ShowRunSummary(RunSummary(counts_));
}

void ConversionDriver::ToolButton3Click() {
    if (Busy) return;
    const int format = ui_.TargetFormat();
    if (format < 0 || format >= kFormatCount) return;  // only a hand-edited setting gets here
    Busy = true;
    ui_.SetFormatSelectorEnabled(false);
    StopRequested = false;
    logErrorShown_ = false;
    failureBoxesOff_ = false;
    counts_ = {};
    ui_.ShowRunSummary({});
    if (ui_.LoggingEnabled() && !log_.LogLines.empty()) log_.ClearLines();

    Log(texts::RunStarted());

    if (ui_.SaveIntoFolder() && !DirectoryExists(ui_.OutputFolder())) {
        const std::string folder = ui_.OutputFolder();
        Log(Fill(Tr("Output folder \"%s\" not found"), {folder}));
        if (ui_.AskYesNo(Tr("Output folder not found! Create it?"), Tr("Error!"))) {
            Log(Fill(Tr("Creating folder \"%s\""), {folder}));
            std::error_code ec;
            std::filesystem::create_directory(folder, ec);  // a failure shows when the files are written
        } else {
            Log(Fill(Tr("Folder \"%s\" not created. Conversion cancelled."), {folder}));
            EndRun();
            return;
        }
    }

    ui_.SetProgress(0, "0 / " + std::to_string(ui_.RowCount()));
    ui_.ShowProgress();

    for (size_t i = 0; i < ui_.RowCount(); ++i) {
        if (!ConvertRow(i)) return;
        const size_t done = i + 1, rows = ui_.RowCount();
        ui_.SetProgress(
            static_cast<int>(RoundHalfEven(100 * static_cast<long long>(done), static_cast<long long>(rows))),
            std::to_string(done) + " / " + std::to_string(rows));
    }

    ui_.HideProgress();
    Busy = false;
    ui_.SetFormatSelectorEnabled(true);
    Log(texts::RunFinished());
    ui_.ShowRunSummary(RunSummary(counts_));
}

namespace {
// The window's part of a row's conversion: its log lines, its Stop, its question before replacing a file.
class RowSteps : public ConversionSteps {
public:
    RowSteps(ConversionDriver& driver, ConversionUi& ui, std::function<void(const std::string&)> log)
        : driver_(driver), ui_(ui), log_(std::move(log)) {}

    bool stopped = false;

    void Log(const std::string& text) override { log_(text); }
    bool GoOn() override {
        ui_.PumpEvents();
        if (!driver_.StopRequested) return true;
        if (ui_.AskYesNo(Tr("Stop the conversion?"), Tr("Warning!"))) return false;
        driver_.StopRequested = false;
        return true;
    }
    bool MayReplace(const std::string& output) override {
        return ui_.AskYesNo(Fill(Tr("File %s already exists! Overwrite it?"), {output}),
                            TrIn("overwrite question", "Warning!"));
    }

private:
    ConversionDriver& driver_;
    ConversionUi& ui_;
    std::function<void(const std::string&)> log_;
};
}  // namespace

// One row of the list; false when the run has ended (list error or a confirmed stop).
bool ConversionDriver::ConvertRow(size_t i) {
    const std::vector<std::string> cells = ui_.RowCells(i);
    if (cells.size() < 2) {
        Log(Tr("Error in the image list. Conversion stopped."));
        ui_.ShowMessage(Tr("Error in the image list! Restart the program!"), Tr("Error!"));
        EndRun();
        return false;
    }
    const std::string& path = cells[0];
    RowSteps steps(*this, ui_, [this](const std::string& text) { Log(text); });
    ConversionTarget target{.format = ui_.TargetFormat(), .compress = false};
    target.name = [&] {
        const std::optional<std::string> folder =
            ui_.SaveIntoFolder() ? std::optional<std::string>(ui_.OutputFolder()) : std::nullopt;
        return OutputFileName(path, ui_.TargetFormat(), folder);
    };
    const ConversionOutcome outcome = ConvertImage(zxd, ConversionSource{.name = path}, target, steps);
    const std::string fileLine = Fill(Tr("File: %s"), {path});
    switch (outcome.result) {
        case ConversionResult::kStopped:
            EndRun();
            Log(Tr("Conversion stopped by the user."));
            return false;
        case ConversionResult::kOpenError:
            ++counts_.failed;
            ReportFailure(outcome.reason, fileLine);
            ui_.SetRowResult(i, kResultOpenError, texts::LoadFailed(path, outcome.reason));
            return true;
        case ConversionResult::kSaveError:
            ++counts_.failed;
            ui_.SetRowResult(i, kResultSaveError, texts::SaveFailed(outcome.output, outcome.reason));
            ReportFailure(outcome.reason, fileLine + "\n" + Fill(Tr("Output file: %s"), {outcome.output}));
            return true;
        case ConversionResult::kConverted:
            ++counts_.converted;
            // What the output lacks rides with the row: its tool tip carries the loss line too.
            ui_.SetRowResult(i, kResultConverted,
                             texts::ImageSaved(outcome.output) + (outcome.losses.empty() ? "" : "\n" + outcome.losses));
            return true;
        case ConversionResult::kExists:
            ++counts_.skipped;
            ui_.SetRowResult(i, kResultExists, texts::OutputExists(outcome.output));
            return true;
    }
    return true;
}

// The failure box, until the user asks for no more of them in this run.
void ConversionDriver::ReportFailure(const std::string& reason, const std::string& file) {
    if (failureBoxesOff_) return;
    failureBoxesOff_ = ui_.ShowFileFailure(reason, TrIn("failure caption", "Error!"), file);
}

bool ConversionDriver::LoadImage(const std::string& fileName, std::string& message) {
    const Status read = ReadImageFile(zxd, fileName);
    message = read.reason();
    return read.ok();
}

bool ConversionDriver::SaveImage(const std::string& fileName, std::string& message) {
    message.clear();
    if (NameTaken(fileName) &&
        !ui_.AskYesNo(Fill(Tr("File %s already exists! Overwrite it?"), {fileName}),
                      TrIn("overwrite question", "Warning!"))) {
        message = kAlreadyExists;
        return false;
    }
    const Status written = WriteImageFile(zxd, ui_.TargetFormat(), fileName, false);
    message = written.reason();
    return written.ok();
}

}  // namespace tarvex
