#pragma once
// Start-up order, the command-line switches and the first activation.
#include "common/main_state.h"
#include "common/services.h"

#include <functional>
#include <string>
#include <vector>

namespace tarnwick {

// What start-up needs from the application object and the main window.
class StartupHost {
public:
    virtual ~StartupHost() = default;
    // Removes the tray icon, handles what is waiting and asks the event loop to end; returns.
    virtual void QuitApp() = 0;
    virtual bool EndRequested() const = 0;
    virtual void SetToolDirCaption(const std::string& text) = 0;
    virtual void EnableHideTimer() = 0;
};

// Calls into the other subsystems. A step that is not wired is skipped.
struct StartupSteps {
    std::function<std::string()> FindVmware;
    std::function<void()> LoadConfig;
    // The whole backup run; returns the exit code a scheduler records (0 all well, 1 a step failed,
    // 2 no usable target).
    std::function<int(const std::string& target)> BackupRunningVms;
    std::function<bool()> CheckOtherInstance;
    std::function<void()> StartAll;
};

extern const char* const HelpText;

class Startup {
public:
    Startup(MainState& state, Reporter& reporter, Dialogs& dialogs, StartupHost& host, StartupSteps& steps)
        : state_(state), reporter_(reporter), dialogs_(dialogs), host_(host), steps_(steps) {}

    // Paths must be known before anything can be logged, so they come first and on their own.
    void SetPaths(const std::string& exePath, const std::string& commandLine);
    // Everything after the paths: discovery, the start line, configuration, the switches.
    void InitGlobalsAfterPaths();
    void ProcessSwitches();
    void FormActivate();

    const std::vector<std::string>& Args() const { return args_; }
    // What the process ends with: the backup run's code after /BKP, else 0.
    int ExitCode() const { return exitCode_; }

private:
    MainState& state_;
    Reporter& reporter_;
    Dialogs& dialogs_;
    StartupHost& host_;
    StartupSteps& steps_;
    std::vector<std::string> args_;
    int exitCode_ = 0;
};

} // namespace tarnwick
