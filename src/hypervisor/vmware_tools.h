#pragma once
// The VMware command tool a run uses, as discovery found it.
#include <string>

namespace tarnwick {

struct VmwareTools {
    std::string toolPath;
    bool useVmrun = false; // else vmware-cmd, which cannot take snapshots
    std::string toolDir;   // shown in the main window; Teams open from here
};

} // namespace tarnwick
