// The batch conversion loop behind the window's Convert button: every listed image is read into the one
// disk model and written out in the target format, with per-row results, questions, progress, Stop, an
// optional run log and a closing summary. It talks to the user only through ConversionUi, so it runs
// without a toolkit.
#pragma once

#include <string>
#include <vector>

#include "app/conversion_step.h"
#include "app/run_log.h"
#include "disk/zx_disk.h"

namespace tarvex {

class ConversionUi {
public:
    virtual ~ConversionUi() = default;

    // A modal Yes/No question; true only for an explicit Yes (closing the box is No).
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // A file's failure: ShowMessage's box with `file` (the lines naming the file) under its text and a check
    // box to show no more of these in this run; true when the user ticked it.
    virtual bool ShowFileFailure(const std::string& text, const std::string& caption, const std::string& file) = 0;
    virtual void PumpEvents() = 0;

    // The progress panel: shown centred over the file list, a bar 0..100 and the counter text.
    virtual void ShowProgress() = 0;
    virtual void HideProgress() = 0;
    virtual void SetProgress(int position, const std::string& counter) = 0;
    virtual void SetFormatSelectorEnabled(bool enabled) = 0;
    // The row's result text, and `detail` (what the run log says of the row's end) for its tool tip.
    virtual void SetRowResult(size_t row, const std::string& text, const std::string& detail) = 0;
    // The last words of every run: how many files were converted, skipped and failed.
    virtual void ShowRunSummary(const std::string& text) = 0;

    // The list and the options, read afresh wherever the run uses them.
    virtual size_t RowCount() = 0;
    virtual std::vector<std::string> RowCells(size_t row) = 0;  // the cells after the number: path, result
    virtual int TargetFormat() = 0;
    virtual std::string OutputFolder() = 0;
    virtual bool SaveIntoFolder() = 0;
    virtual bool LoggingEnabled() = 0;
};

// How a run went, counted by row result.
struct RunCounts {
    int converted = 0, skipped = 0, failed = 0;
};

// "48 converted, 2 failed", with the skipped files (the user kept the existing output) when there are any.
std::string RunSummary(const RunCounts& counts);

// SaveImage's message when the user keeps an existing file.
inline constexpr const char* kAlreadyExists = "Already exists!";

class ConversionDriver {
public:
    ConversionDriver(TZX_Disk& disk, ConversionUi& ui, Clock clock = SystemLocalTime)
        : zxd(disk), ui_(ui), log_(std::move(clock)) {}

    bool Busy = false;
    bool StopRequested = false;

    void ToolButton3Click();  // run the conversion of every listed file
    void BitBtn1Click() { StopRequested = true; }

    bool LoadImage(const std::string& fileName, std::string& message);
    bool SaveImage(const std::string& fileName, std::string& message);
    void WriteLog(const std::string& text);

    std::vector<std::string>& LogLines() { return log_.LogLines; }
    void SetLogFileName(const std::string& name) { log_.LogFileName = name; }
    const std::string& LogFileName() const { return log_.LogFileName; }

private:
    void Log(const std::string& text) {
        if (ui_.LoggingEnabled()) WriteLog(text);
    }
    void EndRun();
    bool ConvertRow(size_t row);
    void ReportFailure(const std::string& reason, const std::string& file);

    TZX_Disk& zxd;
    ConversionUi& ui_;
    RunLog log_;
    bool logErrorShown_ = false;
    bool failureBoxesOff_ = false;  // the user asked for no more failure boxes in this run
    RunCounts counts_;
};

// "…" + the value in straight double quotes + ending.
std::string Quoted(const std::string& beginning, const std::string& value, const std::string& ending = "");

}  // namespace tarvex
