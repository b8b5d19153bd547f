#pragma once
// Finds an installed VMware product and the command tool it brings. It only looks: start-up decides
// what the run uses, and tells the user what is wrong.
#include "common/services.h"
#include "hypervisor/registry.h"
#include "hypervisor/vmware_tools.h"

#include <string>

namespace tarnwick {

// The products, in the order they are looked for.
inline constexpr const char* VmwareProducts[] = {"Workstation", "Server"};

// What looking for one product found.
struct VmwareProbe {
    enum class Outcome {
        NotInstalled,   // no install path in either registry view
        ProgramMissing, // no vmware.exe in the install directory
        ToolMissing,    // the command tool chosen is not there
        Found,
    };
    Outcome outcome = Outcome::NotInstalled;
    std::string missingFile; // ProgramMissing, ToolMissing: the file looked for
    VmwareTools tools;       // ToolMissing, Found: the tool chosen; toolDir only when Found
};

class Discovery {
  public:
    Discovery(FileSystem& files, RegistryReader& registry) : files_(files), registry_(registry) {}

    // product is "Workstation" or "Server". A non-string "InstallPath" throws RegistryDataError.
    VmwareProbe Probe(const std::string& product);

  private:
    std::string InstallPath(const std::string& product);

    FileSystem& files_;
    RegistryReader& registry_;
};

} // namespace tarnwick
