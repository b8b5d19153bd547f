#pragma once
// The composition root: owns the run's state, the window and the adapters, and wires them together.
#include <windows.h>

#include "app/startup.h"
#include "app/tool_setup.h"
#include "app/unattended.h"
#include "app/win32/log_reporter.h"
#include "common/held_log.h"
#include "common/run_files.h"
#include "common/services.h"
#include "common/win32/file_system.h"
#include "config/config_store.h"
#include "config/control_list.h"
#include "config/win32/atomic_file_writer.h"
#include "config/win32/registry_autostart.h"
#include "dos/win32/command_runner.h"
#include "hypervisor/discovery.h"
#include "hypervisor/hypervisor.h"
#include "hypervisor/win32/file_claims.h"
#include "hypervisor/win32/registry_reader.h"
#include "sequences/adapters.h"
#include "sequences/end_session_gate.h"
#include "sequences/sequencer.h"
#include "sequences/session_end.h"
#include "sequences/win32/session_platform.h"
#include "ui/main_presenter.h"
#include "ui/win32/main_window.h"
#include "ui/win32/message_boxes.h"

#include <memory>
#include <string>

namespace tarnwick::win32 {

// The launch button and Exit, as the sequencer names them.
class SequencerCommands final : public SequenceCommands {
  public:
    SequencerCommands(Sequencer& sequencer, HeldLog& log) : sequencer_(sequencer), log_(log) {}
    // As /START does: a line that cannot be written is told afterwards, and does not cut the start, or
    // the suspension of what it brought up, short.
    void LaunchSelected() override {
        const HeldLog::Hold hold(log_);
        sequencer_.LaunchSelected();
    }
    void ExitWithSuspendOffer() override { sequencer_.ExitWithSuspendOffer(); }

  private:
    Sequencer& sequencer_;
    HeldLog& log_;
};

// What runs VMware's tool, built once start-up has settled which tool that is.
struct ToolSide {
    ToolSide(ToolSetup toolSetup, HeldLog& log, ControlListView& list, Dialogs& dialogs, Processes& processes,
             EndSessionGate& gate, FileSystem& files, const ConfigOptions& options,
             ResumeRecord& resumeRecord, SessionPlatform& platform,
             std::function<std::string()> localDateTime, std::function<void()> quitApp)
        : setup(std::move(toolSetup)), hypervisor(setup.Make(log)), vms(hypervisor),
          sequencer(SequenceServices{setup.Tools(), list, vms, log, dialogs, processes, gate,
                                     std::move(localDateTime), std::move(quitApp),
                                     ResumeServices{resumeRecord, files, options}}),
          commands(sequencer, log), sessionEnd(log, gate, sequencer, platform) {
        hypervisor.SetLimitPassedHandler([this] { sequencer.LimitPassed(); });
    }
    ToolSide(const ToolSide&) = delete;
    ToolSide& operator=(const ToolSide&) = delete;

    ToolSetup setup;
    Hypervisor hypervisor;
    HypervisorPort vms;
    Sequencer sequencer;
    SequencerCommands commands;
    SessionEnd sessionEnd;
};

class TarnwickApp final : public StartupHost, public MainWindowEvents {
  public:
    TarnwickApp(HINSTANCE instance, const std::string& exePath, std::string commandLine);
    ~TarnwickApp() override;

    // The whole life of the program; returns the process exit code.
    int Run();

    // StartupHost
    VmwareProbe ProbeVmware(const std::string& product) override;
    void DisableSnapshot() override;
    void ShowToolDir(const std::string& text) override;
    void UseVmware(const VmwareTools& tools) override;
    void LoadConfig() override;
    int BackupRunningVms(const std::string& target) override;
    void NotifyFailure(const std::string& text) override;
    bool CheckOtherInstance() override;
    void StartAll() override;
    void EnableHideTimer() override;
    void QuitApp() override;
    bool EndRequested() const override { return endRequested_; }
    // MainWindowEvents
    void Activated() override;
    void SettingsChanged() override;
    bool QueryEndSession(LPARAM lParam) override;
    void EndSession(bool ending, LPARAM lParam) override;
    void RefusalStood() override;
    void Destroying() override;
    void HandlerFailed(const std::exception& e) override;

  private:
    void StartUp();
    void Dispatch(MSG& msg);
    // Handles every window message that is waiting, then returns.
    void ProcessMessages();
    void ShowCaption(const std::string& caption);
    // A log failure a held step remembered, shown once no hold is on and the session is not ending.
    void ReportHeldLogFailure();
    // An error that abandoned a step: a box, or where no one can answer one, a log line.
    void ShowError(const std::string& text);

    HINSTANCE instance_;
    // Claimed before anything runs a tool, and held for the life of the process.
    WinFileClaims captureClaims_;
    const RunFiles runFiles_;
    CaptureFiles captures_{runFiles_.capturePath};
    LogReporter logFile_{runFiles_, [this](const std::string& caption) { ShowCaption(caption); }};
    HeldLog reporter_{logFile_};
    ModalCount modals_;
    MessageBoxes boxes_{[this] { return window_ ? window_->DialogOwner() : nullptr; }, modals_};
    RoutedDialogs dialogs_{boxes_, reporter_};
    WinFileSystem files_;
    CommandRunner runner_{[this](MSG& msg) { Dispatch(msg); }};
    Registry registry_;
    Discovery discovery_{files_, registry_};
    ControlList list_;
    AtomicFileWriter writer_;
    RegistryAutostart autostart_;
    ConfigStore config_{runFiles_, files_, writer_, autostart_, reporter_, dialogs_, list_};
    ResumeRecord resumeRecord_{runFiles_.resumeFilePath, files_, writer_};
    ControlListPort listPort_{list_};
    WinSessionPlatform sessionPlatform_;
    EndSessionGate gate_{sessionPlatform_};
    std::unique_ptr<ToolSide> tools_;
    std::unique_ptr<Startup> startup_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<MainPresenter> presenter_;
    bool endRequested_ = false;
    bool startUpFailed_ = false;
};

} // namespace tarnwick::win32
