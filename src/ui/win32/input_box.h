#pragma once
// A one-line input box with OK and Cancel, and the open-file dialog.
#include <windows.h>

#include <optional>
#include <string>

namespace tarnwick::win32 {

// The text as typed, or nullopt when the user cancelled.
std::optional<std::string> InputBox(HWND owner, const std::string& caption, const std::string& prompt,
                                    const std::string& initial);

// filter in the "Name|pattern|Name|pattern" form; the chosen full path, or nullopt when cancelled.
std::optional<std::string> ChooseFile(HWND owner, const std::string& filter, const std::string& initialDir);

} // namespace tarnwick::win32
