#include <windows.h>

#include "sequences/win32/backup_folders.h"

#include "common/win32/handles.h"
#include "sequences/win32/file_copy.h"

namespace tarnwick::win32 {

namespace {

// A find handle owned for one listing.
class Finder {
  public:
    Finder(const std::string& pattern, WIN32_FIND_DATAA& data) : h_(FindFirstFileA(pattern.c_str(), &data)) {}
    ~Finder() {
        if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
    }
    Finder(const Finder&) = delete;
    Finder& operator=(const Finder&) = delete;
    bool Found() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA& data) { return FindNextFileA(h_, &data) != FALSE; }

  private:
    HANDLE h_;
};

class FileLock final : public BackupFolders::Lock {
  public:
    explicit FileLock(UniqueFile file) : file_(std::move(file)) {}

  private:
    UniqueFile file_;
};

bool IsDots(const char* name) {
    return std::string_view(name) == "." || std::string_view(name) == "..";
}

} // namespace

std::string WinBackupFolders::FullPath(const std::string& path) {
    char buf[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
    if (n == 0 || n >= sizeof buf) return std::string();
    return std::string(buf, n);
}

std::optional<std::vector<BackupFolders::File>> WinBackupFolders::ListFiles(const std::string& folder) {
    WIN32_FIND_DATAA data;
    Finder find(folder + "\\*", data);
    if (!find.Found()) return std::nullopt; // even an empty folder lists "." and ".."
    std::vector<File> files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        files.push_back(
            File{data.cFileName, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                 (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime});
    } while (find.Next(data));
    if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return files;
}

bool WinBackupFolders::RenameFolder(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), 0) != FALSE;
}

bool WinBackupFolders::RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA data;
    {
        Finder find(folder + "\\*", data);
        if (find.Found()) {
            do {
                if (IsDots(data.cFileName)) continue;
                const std::string path = folder + "\\" + data.cFileName;
                // A link to a folder is removed as the link, never followed.
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveFolder(path);
                } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveDirectoryA(path.c_str());
                } else {
                    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                        SetFileAttributesA(path.c_str(), data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
                    DeleteFileA(path.c_str());
                }
            } while (find.Next(data));
        }
    }
    return RemoveDirectoryA(folder.c_str()) != FALSE ||
           GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::optional<std::vector<std::string>> WinBackupFolders::ListFolders(const std::string& folder) {
    WIN32_FIND_DATAA data;
    Finder find(folder + "\\*", data);
    if (!find.Found()) return std::nullopt;
    std::vector<std::string> folders;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDots(data.cFileName))
            folders.push_back(data.cFileName);
    } while (find.Next(data));
    if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return folders;
}

bool WinBackupFolders::MakeFolder(const std::string& folder) {
    if (CreateDirectoryA(folder.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinBackupFolders::WriteSmallFile(const std::string& path, const std::string& bytes) {
    const UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

BackupFolders::LockResult WinBackupFolders::TakeLock(const std::string& path) {
    // Others may read who holds it, but not open it as we do; the system deletes it with the last handle.
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    LockResult result;
    if (file) {
        const std::string id = std::to_string(GetCurrentProcessId());
        DWORD written = 0;
        WriteFile(file.get(), id.data(), static_cast<DWORD>(id.size()), &written, nullptr);
        SetEndOfFile(file.get());
        result.lock = std::make_unique<FileLock>(std::move(file));
        return result;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return result;
    result.heldByAnother = true;
    const UniqueFile reader(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    char buf[16];
    DWORD got = 0;
    if (reader && ReadFile(reader.get(), buf, sizeof buf, &got, nullptr)) result.holder.assign(buf, got);
    return result;
}

BackupFolders::CopyResult WinBackupFolders::CopyOneFile(const std::string& from, const std::string& to,
                                                        uint32_t stallSeconds,
                                                        const std::function<void()>& answer,
                                                        const std::function<void(uint64_t)>& copied) {
    // CopyFile refuses to replace a hidden or read-only file, as the first pass's /H /K may have left it.
    const DWORD attributes = GetFileAttributesA(to.c_str());
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kept))
        SetFileAttributesA(to.c_str(), (attributes & ~kept) ? attributes & ~kept : FILE_ATTRIBUTE_NORMAL);
    const CopyResult result = CopyFileWatched(from, to, stallSeconds, answer, copied);
    // Wine's copy onto an existing file keeps that file's attributes.
    const DWORD source = GetFileAttributesA(from.c_str());
    if (result.end == CopyEnd::Copied && source != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(to.c_str(), source);
    return result;
}

} // namespace tarnwick::win32
