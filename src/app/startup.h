#pragma once
// Start-up order, the command-line switches and the first activation.
#include "common/main_state.h"
#include "common/services.h"
#include "hypervisor/discovery.h"

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
    Startup(MainState& state, Reporter& reporter, Dialogs& dialogs, StartupHost& host)
        : state_(state), reporter_(reporter), dialogs_(dialogs), host_(host) {}

    // Paths must be known before anything can be logged, so they come first and on their own.
    void SetPaths(const std::string& exePath, const std::string& commandLine);
    // Everything after the paths: VMware, the start line, the configuration, the switches.
    void Run();
    // Looks for each product in turn, tells the user what is wrong with one, and settles the tool the
    // run uses: the first product found, else the last tool chosen. Returns the tool directory, empty
    // when no product is usable.
    std::string FindVmware();
    void ProcessSwitches();
    // Every activation of the main window; the first one after a /START start-up starts the list.
    void WindowActivated();

    const std::vector<std::string>& Args() const { return args_; }
    // /START was given and the list has not been started yet.
    bool StartPending() const { return startPending_; }
    // What the process ends with: the backup run's code after /BKP, else 0.
    int ExitCode() const { return exitCode_; }

  private:
    void UseTool(const VmwareTools& tools);

    MainState& state_;
    Reporter& reporter_;
    Dialogs& dialogs_;
    StartupHost& host_;
    std::vector<std::string> args_;
    bool startPending_ = false;
    int exitCode_ = 0;
};

} // namespace tarnwick
