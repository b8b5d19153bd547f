#include <windows.h>

#include "hypervisor/win32/file_claims.h"

namespace tarnwick::win32 {

FileClaims::Claim WinFileClaims::HoldForLife(const std::string& lockPath) {
    UniqueFile file(
        ::CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) return ::GetLastError() == ERROR_SHARING_VIOLATION ? Claim::HeldByAnother : Claim::Unavailable;
    held_.push_back(std::move(file));
    return Claim::Ours;
}

} // namespace tarnwick::win32
