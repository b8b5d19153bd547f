#include "ui/win32/version_info.h"

#include "ui/about_info.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace tarnwick::win32 {

std::string ReadVersionInfo(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return VersionText(false, std::nullopt);
    std::vector<char> block(size);
    std::optional<std::string> fileVersion;
    void* value = nullptr;
    UINT chars = 0;
    if (GetFileVersionInfoA(path.c_str(), 0, size, block.data()) &&
        VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &value, &chars)) {
        // The count may or may not include the terminator, and is 0 for an empty value.
        const char* text = static_cast<const char*>(value);
        fileVersion = text ? std::string(text, strnlen(text, chars)) : std::string();
    }
    return VersionText(true, fileVersion);
}

} // namespace tarnwick::win32
