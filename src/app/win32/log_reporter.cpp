#include "app/win32/log_reporter.h"

#include "app/win32/file_log.h"
#include "common/product.h"

#include <utility>

namespace tarnwick::win32 {

LogReporter::LogReporter(const RunFiles& files, std::function<void(const std::string& caption)> showCaption)
    : files_(files), showCaption_(std::move(showCaption)), formats_(ReadLocaleFormats()) {}

void LogReporter::ReadFormats() {
    formats_ = ReadLocaleFormats();
}

void LogReporter::WriteLog(const std::string& msg) {
    // One clock reading for the whole stamp, so a line at midnight cannot mix two days.
    AppendLogLine(files_.logFilePath, FormatLogLine(formats_, LocalNow(), msg));
}

void LogReporter::ShowStatus(const std::string& msg) {
    showCaption_(msg.empty() ? std::string(ProgramName) : ProgramName + (" - " + msg));
    WriteLog(msg);
}

} // namespace tarnwick::win32
