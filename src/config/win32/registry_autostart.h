#pragma once
// The logon autostart value in the registry's Run key.
#include <windows.h>

#include "config/config_store.h"

#include <string>

namespace tarnwick::win32 {

inline constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistryAutostart : public AutostartStore {
  public:
    // The key is opened only if it exists, never created. Tests point it at a scratch key.
    explicit RegistryAutostart(HKEY root = HKEY_CURRENT_USER, std::string subKey = RunKeyPath)
        : root_(root), subKey_(std::move(subKey)) {}
    std::unique_ptr<RunKey> OpenRunKey() override;

  private:
    HKEY root_;
    std::string subKey_;
};

} // namespace tarnwick::win32
