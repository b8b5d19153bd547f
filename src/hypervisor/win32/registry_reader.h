#pragma once
// HKEY_LOCAL_MACHINE read through the real registry, read-only, in the view asked for.
#include "hypervisor/registry.h"

namespace tarnwick::win32 {

class Registry final : public RegistryReader {
  public:
    std::optional<std::string> ReadMachineString(RegistryView view, const std::string& keyPath,
                                                 const std::string& valueName) override;
};

} // namespace tarnwick::win32
