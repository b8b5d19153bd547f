#include "app/startup.h"

#include "app/args.h"
#include "sequences/failure_notice.h"

#include <utility>

namespace tarnwick {

const char* const HelpText =
    "Command Line Options: \r\r/? (or /HELP)\r/START - Starts all controlled VMs and remains "
    "running\r/BKP directory - Suspends & Backs up all running VMs\r/SKIP_VMWARE_CHECK - "
    "(For Debugging) Skips check for VMWare Directory";

Startup::Startup(Reporter& reporter, Dialogs& dialogs, StartupHost& host, std::string commandLine)
    : reporter_(reporter), dialogs_(dialogs), host_(host), commandLine_(std::move(commandLine)),
      args_(SplitCommandLine(commandLine_)) {}

void Startup::Run() {
    VmwareChoice choice = FindVmware();
    host_.ShowToolDir(choice.tools.toolDir);
    if (!choice.found) {
        if (ParamIndex(args_, "SKIP_VMWARE_CHECK") > 0) {
            choice.tools.toolDir = "(DEBUGGING: VMWare Check Skipped)";
            host_.ShowToolDir(choice.tools.toolDir);
        } else {
            dialogs_.ShowMessage(
                "ERROR: No supported versions of VMWare (Workstation 5-6 or Server 1) appear to be "
                "installed on this machine.");
            host_.QuitApp();
        }
    }
    host_.UseVmware(choice.tools);
    reporter_.WriteLog("Started; Command line: " + commandLine_);
    host_.LoadConfig();
    ProcessSwitches();
}

Startup::VmwareChoice Startup::FindVmware() {
    VmwareChoice choice;
    for (const char* product : VmwareProducts) {
        const VmwareProbe probe = host_.ProbeVmware(product);
        if (probe.outcome == VmwareProbe::Outcome::ProgramMissing)
            reporter_.ShowStatus("ERROR: " + probe.missingFile + " not found.");
        if (probe.outcome != VmwareProbe::Outcome::ToolMissing &&
            probe.outcome != VmwareProbe::Outcome::Found)
            continue;
        // A tool that was chosen but not found stays the run's tool unless a later product is found.
        choice.tools = VmwareTools{probe.tools.toolPath, probe.tools.useVmrun, std::string()};
        if (!probe.tools.useVmrun) host_.DisableSnapshot();
        if (probe.outcome == VmwareProbe::Outcome::Found) {
            choice.tools.toolDir = probe.tools.toolDir;
            choice.found = true;
            return choice;
        }
        const std::string message = "ERROR: " + probe.missingFile + " not found. Terminating.";
        reporter_.ShowStatus(message);
        dialogs_.ShowMessage(message);
        host_.QuitApp(); // only asks to end: the next product is still looked for, start-up runs on
    }
    return choice;
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
