#include "app/win32/tarnwick_app.h"

#include "app/win32/file_log.h"
#include "app/win32/process_list.h"
#include "common/product.h"
#include "ui/win32/ids.h"
#include "ui/win32/input_box.h"

#include <commctrl.h>

namespace tarnwick::win32 {

TarnwickApp::TarnwickApp(HINSTANCE instance, std::string exePath, std::string commandLine) : instance_(instance) {
    config_ = std::make_unique<ConfigStore>(state_, files_, writer_, autostart_, *this, *this, list_);
    list_.SetObserver([this](const ListChange& change) { ListChanged(change); });
    discovery_ = std::make_unique<Discovery>(state_, *this, *this, files_, registry_,
                                             DiscoveryHooks{[this] { QuitApp(); },
                                                            [this] {
                                                                config_->DisableSnapshot();
                                                                ShowOptions();
                                                            }});
    optionsPort_ = std::make_unique<OptionsPort>(*config_);
    sequencer_ = std::make_unique<Sequencer>(SequenceServices{state_, listPort_, vmPort_, *this, *this, runner_, gate_,
                                                              [this] { return FormatDateTime(formats_, LocalNow()); },
                                                              [this] { QuitApp(); }});
    sessionEnd_ = std::make_unique<SessionEnd>(state_, *this, gate_, *sequencer_, sessionPlatform_);
    steps_.FindVmware = [this] { return discovery_->FindVmware(); };
    steps_.StartAll = [this] { sequencer_->StartAll(); };
    steps_.CheckOtherInstance = [this] { return CheckOtherInstance(window_ ? window_->Handle() : nullptr, *this); };
    steps_.BackupRunningVms = [this](const std::string& target) {
        BackupServices services{listPort_, *optionsPort_, vmPort_, *this, *this, runner_, files_};
        return static_cast<int>(BackupRunningVms(target, services));
    };
    steps_.LoadConfig = [this] {
        config_->LoadConfig();
        ShowOptions();
    };
    startup_ = std::make_unique<Startup>(state_, *this, *this, *this, steps_);
    startup_->SetPaths(exePath, commandLine);
    formats_ = ReadLocaleFormats();
}

TarnwickApp::~TarnwickApp() = default;

int TarnwickApp::Run() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    window_ = std::make_unique<MainWindow>(*this);
    if (!window_->Create(instance_)) {
        MessageBoxA(nullptr, "The main window could not be created.", ProgramName, MB_OK | MB_ICONERROR);
        return 1;
    }
    sessionPlatform_.SetWindow(window_->Handle());
    WinSessionPlatform::AskToBeQueriedEarly();
    FormCreate();
    about_ = std::make_unique<TfrmAbout>(instance_, ProgramName);

    // Entering the loop shows the window, also when an end was asked for during start-up.
    window_->ShowForm();
    MSG msg;
    while (!endRequested_) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        Dispatch(msg);
    }
    // Destroying the window runs FormDestroy while the window object is still whole.
    if (window_->Handle()) DestroyWindow(window_->Handle());
    window_.reset();
    return startup_->ExitCode();
}

void TarnwickApp::FormCreate() {
    // An error here skips the rest of the start-up, the tray icon included, as it always has.
    try {
        startup_->InitGlobalsAfterPaths();
        window_->AddTrayIcon();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TarnwickApp::Dispatch(MSG& msg) {
    if (msg.message == ids::WM_APP_END && msg.hwnd == nullptr) return; // only wakes the loop
    HWND main = window_ ? window_->Handle() : nullptr;
    if (main && IsDialogMessageA(main, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void TarnwickApp::ProcessMessages() { runner_.DispatchPending(); }

void TarnwickApp::WriteLog(const std::string& msg) {
    // One clock reading for the whole stamp, so a line at midnight cannot mix two days.
    AppendLogLine(state_.LogFilePath, FormatLogLine(formats_, LocalNow(), msg));
}

void TarnwickApp::ShowStatus(const std::string& msg) {
    if (window_) {
        window_->SetCaption(msg.empty() ? std::string(ProgramName) : ProgramName + (" - " + msg));
        ProcessMessages();
    }
    WriteLog(msg);
}

HWND TarnwickApp::Owner() const {
    HWND main = window_ ? window_->Handle() : nullptr;
    return main && IsWindowVisible(main) ? main : nullptr;
}

void TarnwickApp::ShowMessage(const std::string& text) {
    MessageBoxA(Owner(), text.c_str(), ProgramName, MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

bool TarnwickApp::Confirm(const std::string& question) {
    return MessageBoxA(Owner(), question.c_str(), "Confirm", MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL |
                                                                 MB_SETFOREGROUND) == IDYES;
}

void TarnwickApp::InvalidEntry(const std::string& text) {
    MessageBoxA(Owner(), text.c_str(), "Invalid Entry", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void TarnwickApp::Beep() { MessageBeep(MB_OK); }

void TarnwickApp::ShowError(const std::string& text) {
    MessageBoxA(Owner(), text.c_str(), ProgramName, MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

void TarnwickApp::QuitApp() {
    if (window_) window_->RemoveTrayIcon();
    ProcessMessages();
    endRequested_ = true;
    // The loop ends on the flag, checked after every dispatch; the thread message only wakes a loop that
    // sleeps in GetMessage, and a nested pump that takes it instead loses nothing.
    PostThreadMessageA(GetCurrentThreadId(), ids::WM_APP_END, 0, 0);
}

void TarnwickApp::SetToolDirCaption(const std::string& text) {
    if (window_) window_->SetToolDirCaption(text);
}

void TarnwickApp::EnableHideTimer() {
    if (window_) window_->EnableHideTimer();
}

void TarnwickApp::FormActivate() { startup_->FormActivate(); }

void TarnwickApp::Command(int id) {
    switch (id) {
    case ids::IDM_EXIT:
        sequencer_->Exit1Click();
        break;
    case ids::IDC_BUTABOUT:
        if (about_) about_->ShowModal(window_->Handle());
        break;
    case ids::IDC_TBLAUNCH:
        sequencer_->tbLaunchClick();
        break;
    case ids::IDC_TBNEW:
        AddFileCommand();
        break;
    case ids::IDC_TBRUNNING: {
        std::vector<std::string> running;
        hypervisor_.ListRunningVms(running);
        list_.AddRunningVms(running);
        break;
    }
    case ids::IDC_TBDELAY:
        AddDelayCommand();
        break;
    case ids::IDC_TBPROMPT:
        list_.AddPrompt();
        break;
    case ids::IDC_TBDEL:
        if (!list_.DeleteSelected()) Beep();
        break;
    case ids::IDC_TBUP:
        if (!list_.MoveUp()) Beep();
        break;
    case ids::IDC_TBDN:
        if (!list_.MoveDown()) Beep();
        break;
    case ids::IDC_BUTSAVE:
        config_->SaveConfig();
        ShowOptions();
        break;
    case ids::IDC_BUTLOSE:
        config_->LoadConfig();
        ShowOptions();
        break;
    case ids::IDC_CHKWINSTART:
        config_->ClickWinStart(window_->Checked(ids::IDC_CHKWINSTART));
        break;
    case ids::IDC_CHKBKPALL:
        config_->ClickBkpAll(window_->Checked(ids::IDC_CHKBKPALL));
        break;
    case ids::IDC_CHKSNAPSHOT:
        config_->ClickSnapshot(window_->Checked(ids::IDC_CHKSNAPSHOT));
        break;
    default:
        break;
    }
}

void TarnwickApp::AddFileCommand() {
    const auto path = ChooseFile(Owner(), OpenDialogFilter, state_.AppDir);
    if (path) list_.AddFile(*path);
}

void TarnwickApp::AddDelayCommand() {
    const auto typed = InputBox(Owner(), DelayCaption, DelayPrompt, DelayInitialText);
    if (!typed) return;
    const DelayInput result = list_.AddDelay(*typed);
    if (const char* text = InvalidDelayText(result)) InvalidEntry(text);
}

void TarnwickApp::ListChanged(const ListChange& change) {
    if (!window_) return;
    const int i = static_cast<int>(change.index);
    auto line = [this](size_t index) { return ListLine{list_.Text(index), list_.Enabled(index)}; };
    switch (change.kind) {
    case ListChange::Reset: {
        std::vector<ListLine> lines;
        lines.reserve(list_.Count());
        for (size_t k = 0; k < list_.Count(); ++k) lines.push_back(line(k));
        window_->SetListLines(lines);
        window_->SetListSelection(list_.Selection() ? static_cast<int>(*list_.Selection()) : -1);
        break;
    }
    case ListChange::Inserted:
        window_->InsertListLine(i, line(change.index));
        break;
    case ListChange::Removed:
        window_->RemoveListLine(i);
        break;
    case ListChange::Swapped:
        window_->SetListLine(i, line(change.index));
        window_->SetListLine(i + 1, line(change.index + 1));
        break;
    case ListChange::Updated:
        window_->SetListLine(i, line(change.index));
        break;
    case ListChange::Selection:
        window_->SetListSelection(list_.Selection() ? static_cast<int>(*list_.Selection()) : -1);
        break;
    case ListChange::Unsaved:
        window_->SetUnsavedChanges(list_.HasUnsavedChanges());
        break;
    }
}

void TarnwickApp::ShowOptions() {
    if (!window_) return;
    const ConfigOptions& o = config_->Options();
    window_->SetCheck(ids::IDC_CHKBKPALL, o.bkpAll);
    window_->SetCheck(ids::IDC_CHKSNAPSHOT, o.useSnapshot);
    window_->SetCheck(ids::IDC_CHKWINSTART, o.winStart);
    window_->EnableControl(ids::IDC_CHKSNAPSHOT, o.snapshotEnabled);
    window_->EnableControl(ids::IDC_CHKWINSTART, o.winStartEnabled);
    window_->SetUnsavedChanges(list_.HasUnsavedChanges());
}

void TarnwickApp::CheckToggled(int index) {
    if (index >= 0) list_.Toggle(static_cast<size_t>(index));
}

void TarnwickApp::SelectionChanged(int index) {
    list_.Select(index >= 0 ? std::optional<size_t>(static_cast<size_t>(index)) : std::nullopt);
}

void TarnwickApp::SettingsChanged() { formats_ = ReadLocaleFormats(); }

bool TarnwickApp::QueryEndSession(LPARAM lParam) {
    // Only ENDSESSION_* flags travel in lParam; they fit in 32 bits.
    return sessionEnd_->QueryEndSession(static_cast<uint32_t>(lParam));
}

void TarnwickApp::EndSession(bool ending, LPARAM lParam) {
    sessionEnd_->EndSession(ending, static_cast<uint32_t>(lParam));
}

void TarnwickApp::FormDestroy() {
    try {
        WriteLog("Tarnwick Terminated.");
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    if (window_) window_->RemoveTrayIcon();
    ProcessMessages();
}

void TarnwickApp::HandlerFailed(const std::exception& e) { ShowError(e.what()); }

} // namespace tarnwick::win32
