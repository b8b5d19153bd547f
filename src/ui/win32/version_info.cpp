#include "ui/win32/version_info.h"

#include "common/win32/module.h"
#include "ui/about_info.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace tarnwick::win32 {

namespace {

// version.dll is loaded when the About box first needs it, not with the program: the start-up never
// does.
struct VersionDll {
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

    VersionDll() : module(LoadLibraryA("version.dll")) {
        size = ProcAddress<SizeFn>(module, "GetFileVersionInfoSizeA");
        info = ProcAddress<InfoFn>(module, "GetFileVersionInfoA");
        query = ProcAddress<QueryFn>(module, "VerQueryValueA");
    }
    bool Usable() const { return size && info && query; }

    HMODULE module; // kept for the rest of the run
    SizeFn size = nullptr;
    InfoFn info = nullptr;
    QueryFn query = nullptr;
};

} // namespace

std::string ReadVersionInfo(const std::string& path) {
    static const VersionDll dll;
    if (!dll.Usable()) return VersionText(false, std::nullopt);
    DWORD ignored = 0;
    const DWORD size = dll.size(path.c_str(), &ignored);
    if (size == 0) return VersionText(false, std::nullopt);
    std::vector<char> block(size);
    std::optional<std::string> fileVersion;
    void* value = nullptr;
    UINT chars = 0;
    if (dll.info(path.c_str(), 0, size, block.data()) &&
        dll.query(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &value, &chars)) {
        // The count may or may not include the terminator, and is 0 for an empty value.
        const char* text = static_cast<const char*>(value);
        fileVersion = text ? std::string(text, strnlen(text, chars)) : std::string();
    }
    return VersionText(true, fileVersion);
}

} // namespace tarnwick::win32
