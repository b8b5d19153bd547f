#pragma once
// Start-up order, the command-line switches and the first activation.
#include "common/services.h"
#include "hypervisor/discovery.h"
#include "hypervisor/vmware_tools.h"

#include <string>
#include <vector>

namespace tarnwick {

// What start-up asks of the rest of the program. Every step is pure virtual, so a host that leaves one
// out does not compile.
class StartupHost {
  public:
    virtual ~StartupHost() = default;
    virtual VmwareProbe ProbeVmware(const std::string& product) = 0;
    // The tool chosen cannot take snapshots: the snapshot option is off, and stays off, for the run.
    virtual void DisableSnapshot() = 0;
    // The tool directory, or what stands in for it, where the user sees it.
    virtual void ShowToolDir(const std::string& text) = 0;
    // The tool the run uses, settled once: the host builds what runs it. Before any switch acts.
    virtual void UseVmware(const VmwareTools& tools) = 0;
    virtual void LoadConfig() = 0;
    // The whole backup run; returns the exit code a scheduler records (0 all well, 1 a step failed,
    // 2 no usable target).
    virtual int BackupRunningVms(const std::string& target) = 0;
    // The one notice of a run that failed in part, where the user will see it, if anywhere.
    virtual void NotifyFailure(const std::string& text) = 0;
    // Tells the user of every other copy of the program that runs; true when there was one.
    virtual bool CheckOtherInstance() = 0;
    virtual void StartAll() = 0;
    virtual void EnableHideTimer() = 0;
    // Removes the tray icon, handles what is waiting and asks the event loop to end; returns.
    virtual void QuitApp() = 0;
    virtual bool EndRequested() const = 0;
};

extern const char* const HelpText;

class Startup {
  public:
    // commandLine as the system handed it over, unsplit.
    Startup(Reporter& reporter, Dialogs& dialogs, StartupHost& host, std::string commandLine);

    // VMware, the start line, the configuration, the switches.
    void Run();
    // What looking for VMware settled on: the first product found, else the last tool chosen, whose
    // toolDir is then empty.
    struct VmwareChoice {
        VmwareTools tools;
        bool found = false;
    };
    // Looks for each product in turn and tells the user what is wrong with one.
    VmwareChoice FindVmware();
    void ProcessSwitches();
    // Every activation of the main window; the first one after a /START start-up starts the list.
    void WindowActivated();

    const std::vector<std::string>& Args() const { return args_; }
    // /START was given and the list has not been started yet.
    bool StartPending() const { return startPending_; }
    // What the process ends with: the backup run's code after /BKP, else 0.
    int ExitCode() const { return exitCode_; }

  private:
    Reporter& reporter_;
    Dialogs& dialogs_;
    StartupHost& host_;
    std::string commandLine_;
    std::vector<std::string> args_;
    bool startPending_ = false;
    int exitCode_ = 0;
};

} // namespace tarnwick
