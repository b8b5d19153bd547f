#pragma once
// The composition root: owns the run's state, the window and the adapters, and wires them together.
#include <windows.h>

#include "app/log_format.h"
#include "common/main_state.h"
#include "common/services.h"
#include "app/startup.h"
#include "common/win32/file_system.h"
#include "config/config_store.h"
#include "config/control_list.h"
#include "config/win32/atomic_file_writer.h"
#include "config/win32/registry_autostart.h"
#include "dos/win32/command_runner.h"
#include "hypervisor/discovery.h"
#include "hypervisor/hypervisor.h"
#include "hypervisor/win32/registry_reader.h"
#include "sequences/adapters.h"
#include "sequences/backup.h"
#include "sequences/end_session_gate.h"
#include "sequences/sequencer.h"
#include "sequences/session_end.h"
#include "sequences/win32/session_platform.h"
#include "ui/win32/about_box.h"
#include "ui/win32/main_window.h"

#include <memory>
#include <string>

namespace tarnwick::win32 {

class TarnwickApp final : public Reporter, public Dialogs, public StartupHost, public MainWindowEvents {
public:
    TarnwickApp(HINSTANCE instance, std::string exePath, std::string commandLine);
    ~TarnwickApp() override;

    // The whole life of the program; returns the process exit code.
    int Run();

    // Reporter
    void WriteLog(const std::string& msg) override;
    void ShowStatus(const std::string& msg) override;
    // Dialogs
    void ShowMessage(const std::string& text) override;
    bool Confirm(const std::string& question) override;
    void InvalidEntry(const std::string& text) override;
    void Beep() override;
    // StartupHost
    void QuitApp() override;
    bool EndRequested() const override { return endRequested_; }
    void SetToolDirCaption(const std::string& text) override;
    void EnableHideTimer() override;
    // MainWindowEvents
    void FormActivate() override;
    void Command(int id) override;
    void CheckToggled(int index) override;
    void SelectionChanged(int index) override;
    void SettingsChanged() override;
    bool QueryEndSession(LPARAM lParam) override;
    void EndSession(bool ending, LPARAM lParam) override;
    void FormDestroy() override;
    void HandlerFailed(const std::exception& e) override;

    // Handles every window message that is waiting, then returns.
    void ProcessMessages();

private:
    void FormCreate();
    void Dispatch(MSG& msg);
    void ShowError(const std::string& text);
    void ListChanged(const ListChange& change);
    void ShowOptions();
    void AddFileCommand();
    void AddDelayCommand();
    HWND Owner() const;

    HINSTANCE instance_;
    MainState state_;
    LocaleFormats formats_;
    WinFileSystem files_;
    CommandRunner runner_{[this](MSG& msg) { Dispatch(msg); }};
    Registry registry_;
    Hypervisor hypervisor_{state_, *this, *this, runner_, files_};
    std::unique_ptr<Discovery> discovery_;
    ControlList list_;
    AtomicFileWriter writer_;
    RegistryAutostart autostart_;
    std::unique_ptr<ConfigStore> config_;
    ControlListPort listPort_{list_};
    HypervisorPort vmPort_{hypervisor_};
    std::unique_ptr<OptionsPort> optionsPort_;
    WinSessionPlatform sessionPlatform_;
    EndSessionGate gate_{state_, sessionPlatform_};
    std::unique_ptr<Sequencer> sequencer_;
    std::unique_ptr<SessionEnd> sessionEnd_;
    StartupSteps steps_;
    std::unique_ptr<Startup> startup_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<TfrmAbout> about_;
    bool endRequested_ = false;
};

} // namespace tarnwick::win32
