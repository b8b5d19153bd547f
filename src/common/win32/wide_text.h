#pragma once
// 8-bit text in the system's ANSI code page, widened for the few calls that only take UTF-16.
#include <windows.h>

#include <string>

namespace tarnwick::win32 {

inline std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

} // namespace tarnwick::win32
