#pragma once
// The program's state for the whole run: where its files are, and the VMware tool it uses. Start-up
// writes both; everyone else reads them.
#include <string>

namespace tarnwick {

// The VMware command tool the run uses.
struct VmwareTools {
    std::string toolPath;
    bool useVmrun = false; // else vmware-cmd, which cannot take snapshots
    std::string toolDir;   // shown in the main window; Teams open from here
};

struct MainState {
    std::string commandLine; // as the system handed it over, unsplit
    std::string exePath;     // full path of our own executable
    std::string appDir;      // exePath's directory, with its trailing backslash
    std::string tempFilePath, configFilePath, logFilePath;
    VmwareTools vmware;
};

} // namespace tarnwick
