// The run log's lines and their file: appended as lines come, written again whole only when the file
// changed under it.
#include "app/run_log.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>

#include "app/printable_text.h"
#include "io/text_1251.h"
#include "i18n/translate.h"

namespace tarvex {

LocalTime SystemLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm tm {};
    localtime_r(&seconds, &tm);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}

std::string FormatLogLine(const LocalTime& t, const std::string& text) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%02d.%02d.%02d %02d:%02d:%02d:%03d| ", t.day, t.month, t.year % 100, t.hour,
                  t.minute, t.second, t.millisecond);
    return stamp + ShownText(text);
}

std::optional<std::string> RunLog::WriteLog(const LocalTime& when, const std::string& text) {
    LogLines.push_back(FormatLogLine(when, text));
    // The file always holds exactly LogLines; when it already holds all but the new ones, append them.
    const bool append = fileWritten_ == LogFileName && linesInFile_ > 0 && linesInFile_ + 1 == LogLines.size();
    const size_t from = append ? linesInFile_ : 0;
    std::string bytes;
    for (size_t i = from; i < LogLines.size(); ++i) bytes += Utf8ToCp1251(LogLines[i]) + "\r\n";
    std::ofstream out(LogFileName, append ? std::ios::binary | std::ios::app : std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (out) out.flush();
    if (!out) {
        const int err = errno;
        linesInFile_ = 0;
        fileWritten_.clear();
        return Fill(Tr("Cannot write log file \"%s\": %s"), {LogFileName, std::strerror(err)});
    }
    linesInFile_ = LogLines.size();
    fileWritten_ = LogFileName;
    return std::nullopt;
}

}  // namespace tarvex
