#include "app/win32/tarnwick_app.h"

#include "app/win32/file_log.h"
#include "app/args.h"
#include "app/win32/process_list.h"
#include "common/paths.h"
#include "common/product.h"
#include "sequences/backup.h"
#include "sequences/win32/backup_folders.h"
#include "ui/win32/about_box.h"
#include "ui/win32/ids.h"

#include <commctrl.h>

namespace tarnwick::win32 {

namespace {

// A /BKP run's place as the tip of the window's tray icon for as long as the run; with no window, nothing.
class TrayTipProgress final : public BackupProgressView {
  public:
    explicit TrayTipProgress(MainWindow* window) : window_(window) {}
    ~TrayTipProgress() override {
        if (window_) window_->EndProgress();
    }
    TrayTipProgress(const TrayTipProgress&) = delete;
    TrayTipProgress& operator=(const TrayTipProgress&) = delete;
    void ShowProgress(const std::string& text) override {
        if (window_) window_->ShowProgress(text);
    }

  private:
    MainWindow* window_;
};

} // namespace

TarnwickApp::TarnwickApp(HINSTANCE instance, const std::string& exePath, std::string commandLine)
    : instance_(instance),
      runFiles_(RunFiles::Beside(exePath, ClaimCapturePath(std::string(DirectoryPart(exePath)),
                                                           captureClaims_, ::GetCurrentProcessId()))) {
    startup_ = std::make_unique<Startup>(reporter_, dialogs_, *this, std::move(commandLine));
}

TarnwickApp::~TarnwickApp() = default;

int TarnwickApp::Run() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    window_ = std::make_unique<MainWindow>(*this, modals_);
    if (!window_->Create(instance_)) {
        MessageBoxA(nullptr, "The main window could not be created.", ProgramName, MB_OK | MB_ICONERROR);
        return 1;
    }
    sessionPlatform_.SetWindow(window_->Handle(), ids::REFUSAL_TIMER);
    WinSessionPlatform::AskToBeQueriedEarly();
    const bool backupRun = ParamIndex(startup_->Args(), "BKP") >= 1;
    if (MessagesGoToLog(backupRun, PersonCanSee())) dialogs_.SendToLog();
    StartUp();
    window_->SetAboutBox(std::make_unique<AboutBox>(instance_, ProgramName));

    // Entering the loop shows the window, also when an end was asked for during start-up.
    window_->ShowAndRaise();
    MSG msg;
    while (!endRequested_) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        Dispatch(msg);
    }
    // A run that ends during start-up (/?, /BKP) has not told a held log failure yet.
    ReportHeldLogFailure();
    // A notice given just before the end stays until the shell has shown it, or its time is up.
    if (window_->Handle() && window_->NoticeShowing()) {
        window_->Hide();
        while (window_->Handle() && window_->NoticeShowing()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            ProcessMessages();
        }
    }
    // Destroying the window runs Destroying while the window object is still whole.
    if (window_->Handle()) DestroyWindow(window_->Handle());
    presenter_.reset();
    window_.reset();
    // A backup that never got to run has failed, whatever stopped it.
    if (startUpFailed_ && backupRun) return BackupStepFailed;
    return startup_->ExitCode();
}

void TarnwickApp::StartUp() {
    // An error here skips the rest of the start-up, the tray icon included, as it always has.
    try {
        // A log that cannot be written must not keep the list from loading or the switches from acting.
        {
            const HeldLog::Hold hold(reporter_);
            startup_->Run();
        }
        window_->AddTrayIcon();
    } catch (const std::exception& e) {
        startUpFailed_ = true;
        // The program goes on without the rest of the start-up, and without a tool if none was settled.
        if (!tools_) UseVmware(VmwareTools{});
        ShowError(e.what());
    }
    // A held log failure waits for the loop: a box here would keep a /START run from starting the VMs
    // until someone answers it.
}

void TarnwickApp::ShowError(const std::string& text) {
    if (dialogs_.ToLog())
        dialogs_.ShowMessage(text);
    else
        boxes_.ShowError(text);
}

void TarnwickApp::Dispatch(MSG& msg) {
    if (msg.message == ids::WM_APP_END && msg.hwnd == nullptr) return; // only wakes the loop
    HWND main = window_ ? window_->Handle() : nullptr;
    if (main && IsDialogMessageA(main, &msg)) {
        ReportHeldLogFailure();
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    ReportHeldLogFailure();
}

void TarnwickApp::ReportHeldLogFailure() {
    if (reporter_.Holding() || (tools_ && tools_->sessionEnd.MayBeEnding())) return;
    if (const auto failure = reporter_.TakeFailure()) ShowError(*failure);
}

void TarnwickApp::ProcessMessages() {
    runner_.DispatchPending();
}

void TarnwickApp::ShowCaption(const std::string& caption) {
    if (!window_) return;
    window_->SetCaption(caption);
    ProcessMessages();
}

void TarnwickApp::QuitApp() {
    // A notice keeps its icon until the end of the run has let it be seen.
    if (window_ && !window_->NoticeShowing()) window_->RemoveTrayIcon();
    ProcessMessages();
    endRequested_ = true;
    // The loop ends on the flag, checked after every dispatch; the thread message only wakes a loop that
    // sleeps in GetMessage, and a nested pump that takes it instead loses nothing.
    PostThreadMessageA(GetCurrentThreadId(), ids::WM_APP_END, 0, 0);
}

VmwareProbe TarnwickApp::ProbeVmware(const std::string& product) {
    return discovery_.Probe(product);
}

void TarnwickApp::UseVmware(const VmwareTools& tools) {
    if (tools_) return;
    tools_ = std::make_unique<ToolSide>(
        ToolSetup(tools, captures_, dialogs_, runner_, files_, list_), reporter_, listPort_, dialogs_,
        runner_, gate_, files_, list_.Options(), resumeRecord_, sessionPlatform_,
        [this] { return FormatDateTime(logFile_.Formats(), LocalNow()); }, [this] { QuitApp(); });
    tools_->sequencer.SetFailureNoticeHandler([this](const std::string& text) { NotifyFailure(text); });
    dialogs_.SendToLogWhile([this] { return tools_ && tools_->sessionEnd.Handling(); });
    presenter_ = std::make_unique<MainPresenter>(
        MainPresenterServices{runFiles_, list_, config_, dialogs_, tools_->vms, tools_->commands, modals_},
        *window_);
    window_->ForwardUserActsTo(*presenter_);
}

void TarnwickApp::DisableSnapshot() {
    config_.DisableSnapshot();
}

void TarnwickApp::ShowToolDir(const std::string& text) {
    if (window_) window_->SetToolDirCaption(text);
}

void TarnwickApp::LoadConfig() {
    config_.LoadConfig();
}

int TarnwickApp::BackupRunningVms(const std::string& target) {
    // The run, its tool runs included, logs through a log that counts the lines it cannot write
    // instead of abandoning the run with a VM suspended. It wraps the file itself: a start-up hold
    // would otherwise swallow the failures it counts.
    BackupLog log(logFile_);
    Hypervisor hypervisor = tools_->setup.Make(log);
    HypervisorPort vms(hypervisor);
    WinBackupFolders folders;
    // Seen only where a failure notice would be; the icon then goes with the run, as QuitApp removes it.
    TrayTipProgress progress(window_ && TrayIcon::DesktopShowsNotices() ? window_.get() : nullptr);
    BackupServices services{listPort_, config_.Options(), vms,     log, dialogs_, runner_,
                            files_,    folders,           progress};
    return static_cast<int>(tarnwick::BackupRunningVms(target, services));
}

void TarnwickApp::NotifyFailure(const std::string& text) {
    if (window_ && TrayIcon::DesktopShowsNotices()) window_->ShowNotice(text);
}

bool TarnwickApp::CheckOtherInstance() {
    return win32::CheckOtherInstance(window_ ? window_->Handle() : nullptr, dialogs_);
}

void TarnwickApp::StartAll() {
    tools_->sequencer.StartAll();
}

void TarnwickApp::EnableHideTimer() {
    if (window_) window_->EnableHideTimer();
}

void TarnwickApp::Activated() {
    // The /START run belongs to start-up: a log held by another program must not keep the VMs down.
    const HeldLog::Hold hold(reporter_);
    startup_->WindowActivated();
}

void TarnwickApp::SettingsChanged() {
    logFile_.ReadFormats();
}

bool TarnwickApp::QueryEndSession(LPARAM lParam) {
    // Only ENDSESSION_* flags travel in lParam; they fit in 32 bits.
    // Before start-up has settled the tool nothing has been started that the session could lose.
    return !tools_ || tools_->sessionEnd.QueryEndSession(static_cast<uint32_t>(lParam));
}

void TarnwickApp::EndSession(bool ending, LPARAM lParam) {
    if (tools_) tools_->sessionEnd.EndSession(ending, static_cast<uint32_t>(lParam));
}

void TarnwickApp::RefusalStood() {
    if (tools_) tools_->sessionEnd.RefusalStood();
}

void TarnwickApp::Destroying() {
    try {
        reporter_.WriteLog("Tarnwick Terminated.");
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    if (window_) window_->RemoveTrayIcon();
    ProcessMessages();
}

void TarnwickApp::HandlerFailed(const std::exception& e) {
    ShowError(e.what());
}

} // namespace tarnwick::win32
