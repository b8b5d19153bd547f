#pragma once
// Plain file services for the core, through the ANSI API.
#include "common/services.h"

namespace tarnwick::win32 {

class WinFileSystem final : public FileSystem {
  public:
    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    std::optional<std::string> ReadWholeFile(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    uint64_t FolderFileBytes(const std::string& folder) override;
};

} // namespace tarnwick::win32
