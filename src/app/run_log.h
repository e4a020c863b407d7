// The run log: time-stamped lines kept in memory and written to a file in Windows-1251, CR LF after each.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

struct LocalTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};
using Clock = std::function<LocalTime()>;
LocalTime SystemLocalTime();

// "dd.mm.yy hh:mm:ss:zzz| text", the text's control characters escaped (a file name may hold any) so that
// every line stays one line.
std::string FormatLogLine(const LocalTime& when, const std::string& text);

class RunLog {
public:
    explicit RunLog(Clock clock = SystemLocalTime) : clock_(std::move(clock)) {}

    std::vector<std::string> LogLines;
    std::string LogFileName;

    // Appends a line stamped now and brings the file up to date with LogLines. On failure returns the
    // system's reason.
    std::optional<std::string> WriteLog(const std::string& text) { return WriteLog(clock_(), text); }
    // The same for a step that happened at `when`, a time read from the same clock as the step was done.
    std::optional<std::string> WriteLog(const LocalTime& when, const std::string& text);
    void ClearLines() {
        LogLines.clear();
        linesInFile_ = 0;
    }

private:
    Clock clock_;
    // How many of LogLines the file already holds, so a new line is appended rather than the file rewritten.
    size_t linesInFile_ = 0;
    std::string fileWritten_;
};

}  // namespace tarvex
