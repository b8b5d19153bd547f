#pragma once
// The backup's folder work through the ANSI file API: full paths, listings, renames and removal; and
// the copy of single files, through the wide one (file_copy.h).
#include "sequences/ports.h"

namespace tarnwick::win32 {

class WinBackupFolders final : public BackupFolders {
  public:
    std::string FullPath(const std::string& path) override;
    std::optional<std::vector<File>> ListFiles(const std::string& folder) override;
    bool RenameFolder(const std::string& from, const std::string& to) override;
    bool RemoveFolder(const std::string& folder) override;
    std::optional<std::vector<std::string>> ListFolders(const std::string& folder) override;
    bool MakeFolder(const std::string& folder) override;
    bool WriteSmallFile(const std::string& path, const std::string& bytes) override;
    LockResult TakeLock(const std::string& path) override;
    CopyResult CopyOneFile(const std::string& from, const std::string& to, uint32_t stallSeconds,
                           const std::function<void()>& answer,
                           const std::function<void(uint64_t)>& copied) override;
};

} // namespace tarnwick::win32
