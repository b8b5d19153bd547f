#pragma once
// The system's own words for an error code, for log lines and message boxes.
#include <string>

namespace tarnwick::win32 {

// Without the trailing full stop and line end; "error N" when the system has no text.
std::string LastErrorText(unsigned long error);

} // namespace tarnwick::win32
