#include "app/startup.h"

#include "app/args.h"

namespace tarnwick {

const char* const HelpText = "Command Line Options: \r\r/? (or /HELP)\r/START - Starts all controlled VMs and remains "
                             "running\r/BKP directory - Suspends & Backs up all running VMs\r/SKIP_VMWARE_CHECK - "
                             "(For Debugging) Skips check for VMWare Directory";

void Startup::SetPaths(const std::string& exePath, const std::string& commandLine) {
    state_.StartupPending = false;
    state_.EndSessionAllowed = true;
    state_.exePath = exePath;
    state_.commandLine = commandLine;
    args_ = SplitCommandLine(commandLine);
    const size_t cut = exePath.find_last_of("\\:");
    state_.AppDir = cut == std::string::npos ? std::string() : exePath.substr(0, cut + 1);
    state_.TempFilePath = state_.AppDir + "Tarnwick.tmp";
    state_.ConfigFilePath = state_.AppDir + "Tarnwick.ini";
    state_.LogFilePath = state_.AppDir + "Tarnwick.log";
}

void Startup::InitGlobalsAfterPaths() {
    std::string toolDir = steps_.FindVmware ? steps_.FindVmware() : std::string();
    state_.ToolDir = toolDir;
    host_.SetToolDirCaption(toolDir);
    if (toolDir.empty()) {
        if (ParamIndex(args_, "SKIP_VMWARE_CHECK") > 0) {
            state_.ToolDir = "(DEBUGGING: VMWare Check Skipped)";
            host_.SetToolDirCaption(state_.ToolDir);
        } else {
            dialogs_.ShowMessage("ERROR: No supported versions of VMWare (Workstation 5-6 or Server 1) appear to be "
                                 "installed on this machine.");
            host_.QuitApp();
        }
    }
    reporter_.WriteLog("Started; Command line: " + state_.commandLine);
    if (steps_.LoadConfig) steps_.LoadConfig();
    ProcessSwitches();
}

void Startup::ProcessSwitches() {
    bool quit = false;
    const int bkp = ParamIndex(args_, "BKP");
    if (bkp >= 1) {
        if (static_cast<int>(args_.size()) < bkp + 2) {
            dialogs_.ShowMessage("ERROR: /BKP parameter must be followed by a path.");
            exitCode_ = 2;
        } else if (steps_.BackupRunningVms) {
            exitCode_ = steps_.BackupRunningVms(args_[bkp + 1]);
        }
        quit = true;
    }
    if (ParamIndex(args_, "?") + ParamIndex(args_, "HELP") > 0) {
        dialogs_.ShowMessage(HelpText);
        quit = true;
    }
    if (ParamIndex(args_, "START") > 0) state_.StartupPending = true;
    if (!quit && steps_.CheckOtherInstance) quit = steps_.CheckOtherInstance();
    if (quit) host_.QuitApp();
}

void Startup::FormActivate() {
    if (!state_.StartupPending) return;
    state_.StartupPending = false;
    // A program that is about to end must not start VMs it will then leave unguarded.
    if (host_.EndRequested()) return;
    state_.EndSessionAllowed = false;
    if (steps_.StartAll) steps_.StartAll();
    host_.EnableHideTimer();
}

} // namespace tarnwick
