#include "app/startup.h"

#include "app/args.h"
#include "common/paths.h"
#include "sequences/failure_notice.h"

namespace tarnwick {

const char* const HelpText =
    "Command Line Options: \r\r/? (or /HELP)\r/START - Starts all controlled VMs and remains "
    "running\r/BKP directory - Suspends & Backs up all running VMs\r/SKIP_VMWARE_CHECK - "
    "(For Debugging) Skips check for VMWare Directory";

void Startup::SetPaths(const std::string& exePath, const std::string& commandLine) {
    state_.exePath = exePath;
    state_.commandLine = commandLine;
    args_ = SplitCommandLine(commandLine);
    state_.appDir = std::string(DirectoryPart(exePath));
    state_.tempFilePath = state_.appDir + "Tarnwick.tmp";
    state_.configFilePath = state_.appDir + "Tarnwick.ini";
    state_.logFilePath = state_.appDir + "Tarnwick.log";
}

void Startup::Run() {
    const bool found = !FindVmware().empty();
    host_.ShowToolDir(state_.vmware.toolDir);
    if (!found) {
        if (ParamIndex(args_, "SKIP_VMWARE_CHECK") > 0) {
            state_.vmware.toolDir = "(DEBUGGING: VMWare Check Skipped)";
            host_.ShowToolDir(state_.vmware.toolDir);
        } else {
            dialogs_.ShowMessage(
                "ERROR: No supported versions of VMWare (Workstation 5-6 or Server 1) appear to be "
                "installed on this machine.");
            host_.QuitApp();
        }
    }
    reporter_.WriteLog("Started; Command line: " + state_.commandLine);
    host_.LoadConfig();
    ProcessSwitches();
}

std::string Startup::FindVmware() {
    state_.vmware.toolDir.clear();
    for (const char* product : VmwareProducts) {
        const VmwareProbe probe = host_.ProbeVmware(product);
        switch (probe.outcome) {
        case VmwareProbe::Outcome::NotInstalled:
            break;
        case VmwareProbe::Outcome::ProgramMissing:
            reporter_.ShowStatus("ERROR: " + probe.missingFile + " not found.");
            break;
        case VmwareProbe::Outcome::ToolMissing: {
            UseTool(probe.tools);
            const std::string message = "ERROR: " + probe.missingFile + " not found. Terminating.";
            reporter_.ShowStatus(message);
            dialogs_.ShowMessage(message);
            host_.QuitApp(); // only asks to end: the next product is still looked for, start-up runs on
            break;
        }
        case VmwareProbe::Outcome::Found:
            UseTool(probe.tools);
            state_.vmware.toolDir = probe.tools.toolDir;
            return state_.vmware.toolDir;
        }
    }
    return std::string();
}

// A tool that was chosen but not found stays the run's tool unless a later product is found.
void Startup::UseTool(const VmwareTools& tools) {
    state_.vmware.toolPath = tools.toolPath;
    state_.vmware.useVmrun = tools.useVmrun;
    if (!tools.useVmrun) host_.DisableSnapshot();
}

void Startup::ProcessSwitches() {
    bool quit = false;
    const int bkp = ParamIndex(args_, "BKP");
    if (bkp >= 1) {
        if (static_cast<int>(args_.size()) < bkp + 2) {
            dialogs_.ShowMessage("ERROR: /BKP parameter must be followed by a path.");
            exitCode_ = 2;
        } else {
            exitCode_ = host_.BackupRunningVms(args_[bkp + 1]);
        }
        // A scheduled backup runs out of sight; its exit code alone would go unseen.
        if (const auto notice = BackupNoticeText(exitCode_)) host_.NotifyFailure(*notice);
        quit = true;
    }
    if (ParamIndex(args_, "?") + ParamIndex(args_, "HELP") > 0) {
        dialogs_.ShowMessage(HelpText);
        quit = true;
    }
    if (ParamIndex(args_, "START") > 0) startPending_ = true;
    if (!quit) quit = host_.CheckOtherInstance();
    if (quit) host_.QuitApp();
}

void Startup::WindowActivated() {
    if (!startPending_) return;
    startPending_ = false;
    // A program that is about to end must not start VMs it will then leave unguarded.
    if (host_.EndRequested()) return;
    // The start sequence holds the end of the session itself before anything runs.
    host_.StartAll();
    host_.EnableHideTimer();
}

} // namespace tarnwick
