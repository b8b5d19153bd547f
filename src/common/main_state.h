#pragma once
// The program's state for the whole run: paths, the hypervisor found, the session flags.
#include <cstdint>
#include <string>

namespace tarnwick {

struct MainState {
    std::string commandLine;                 // as the system handed it over, unsplit
    std::string exePath;                     // full path of our own executable
    std::string AppDir;                      // exePath's directory, with its trailing backslash
    std::string TempFilePath, ConfigFilePath, LogFilePath;

    bool UseVmrun = false;
    std::string ToolPath;
    std::string ToolDir; // shown in lblVMWareDir; Teams open from here

    bool StartupPending = false;
    bool EndSessionAllowed = true;
    uint32_t ExitKind = 0; // EWX_LOGOFF or EWX_SHUTDOWN of the latest end-session message
};

} // namespace tarnwick
