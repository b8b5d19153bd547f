#include <windows.h>

#include "common/win32/file_system.h"

#include "common/win32/error_text.h"
#include "common/win32/handles.h"

namespace tarnwick::win32 {

bool WinFileSystem::FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFileSystem::DirectoryExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> WinFileSystem::ReadWholeFile(const std::string& path) {
    // Others may go on writing while we read, as a tool still finishing its output would.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return std::nullopt;
        throw IoError("Cannot read " + path + ": " + LastErrorText(err) + ".");
    }
    std::string text;
    char buf[65536];
    DWORD got = 0;
    while (true) {
        if (!ReadFile(file.get(), buf, sizeof buf, &got, nullptr))
            throw IoError("Cannot read " + path + ": " + LastErrorText(GetLastError()) + ".");
        if (got == 0) break;
        text.append(buf, got);
    }
    return text;
}

bool WinFileSystem::DeleteFile(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != FALSE;
}

uint64_t WinFileSystem::FolderFileBytes(const std::string& folder) {
    WIN32_FIND_DATAA found;
    const std::string pattern = folder + (folder.ends_with('\\') ? "*" : "\\*");
    const HANDLE find = ::FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    uint64_t bytes = 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bytes += (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return bytes;
}

} // namespace tarnwick::win32
