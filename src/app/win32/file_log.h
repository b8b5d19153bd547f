#pragma once
// The activity log file and the regional settings its stamps are built from.
#include <windows.h>

#include "app/log_format.h"

#include <string>

namespace tarnwick::win32 {

LocaleFormats ReadLocaleFormats();
LocalDateTime LocalNow();
LocalDateTime FromSystemTime(const SYSTEMTIME& st);

// Appends one line to the log, opened for this line only and shared for reading alone, so another
// writer (a /BKP run beside us) is waited out once for 500 ms. Throws IoError on failure.
void AppendLogLine(const std::string& path, const std::string& line, unsigned retryDelayMs = 500);

} // namespace tarnwick::win32
