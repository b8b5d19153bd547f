#include "ui/win32/main_window.h"

#include "common/product.h"
#include "common/win32/dpi.h"
#include "ui/win32/ids.h"
#include "ui/win32/input_box.h"
#include "ui/win32/resource_ids.h"
#include "ui/window_geometry.h"

#include <windowsx.h>

namespace tarnwick::win32 {

namespace {

constexpr const char* ClassName = "TfrmMain";

// Why a box cannot be clicked: a disabled control says so in its hint.
constexpr const char* SnapshotUnavailableHint =
    "Snapshots need vmrun; this VMware Server has no VIX, so backups suspend the VMs.";
constexpr const char* AutostartUnavailableHint =
    "The Run key of the registry could not be opened, so the logon start cannot be changed.";

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                         LR_DEFAULTCOLOR));
}

} // namespace

MainWindow::MainWindow(MainWindowEvents& events, ModalCount& modals) : events_(events), modals_(modals) {}

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool MainWindow::Create(HINSTANCE instance) {
    icon_.reset(LoadAppIcon(instance, SM_CXICON, SM_CYICON));
    smallIcon_.reset(LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON));
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::WndProc;
    wc.hInstance = instance;
    wc.hIcon = icon_.get();
    wc.hIconSm = smallIcon_.get();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = ClassName;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, ClassName, ProgramName, style, MainWindowLayout::InitialLeft,
                            MainWindowLayout::InitialTop, MainWindowLayout::ClientWidth,
                            MainWindowLayout::ClientHeight, nullptr, nullptr, instance, this);
    if (!hwnd_) return false;
    dpi_ = WindowDpi(hwnd_);
    layout_.CreateControls(hwnd_, dpi_);
    list_.Attach(Control(ids::IDC_CONTROL_LIST));
    layout_.Arrange(hwnd_, dpi_);
    MainWindowLayout::PlaceWindow(hwnd_, dpi_);
    hints_.Track(hwnd_, HintedControls());
    return true;
}

HWND MainWindow::DialogOwner() const {
    return hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
}

void MainWindow::SetCaption(const std::string& text) {
    SetWindowTextA(hwnd_, text.c_str());
}

void MainWindow::SetToolDirCaption(const std::string& text) {
    toolDir_ = text;
    SetWindowTextA(Control(ids::IDC_TOOL_DIR), text.c_str());
}

void MainWindow::ShowAndRaise() {
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void MainWindow::Hide() {
    ShowWindow(hwnd_, SW_HIDE);
}

void MainWindow::EnableHideTimer() {
    SetTimer(hwnd_, ids::HIDE_TIMER, 1000, nullptr);
}

void MainWindow::AddTrayIcon() {
    tray_.Add(hwnd_, smallIcon_ ? smallIcon_.get() : icon_.get());
}

void MainWindow::RemoveTrayIcon() {
    tray_.Remove();
}

void MainWindow::ShowNotice(const std::string& text) {
    if (!tray_.Added()) AddTrayIcon();
    tray_.ShowNotice(text);
}

void MainWindow::ShowProgress(const std::string& text) {
    if (!tray_.Added()) AddTrayIcon();
    tray_.ShowProgress(text);
}

void MainWindow::ShowOptions(const ConfigOptions& options) {
    auto check = [this](int id, bool checked) {
        SendMessageA(Control(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    };
    check(ids::IDC_BKP_ALL, options.bkpAll);
    check(ids::IDC_USE_SNAPSHOT, options.useSnapshot);
    check(ids::IDC_WIN_START, options.winStart);
    check(ids::IDC_RESUME_OTHERS, options.resumeOthers);
    EnableWindow(Control(ids::IDC_USE_SNAPSHOT), options.snapshotEnabled);
    EnableWindow(Control(ids::IDC_WIN_START), options.winStartEnabled);
}

void MainWindow::SetUnsavedChanges(bool unsaved) {
    EnableWindow(Control(ids::IDC_SAVE), unsaved);
    EnableWindow(Control(ids::IDC_FORGET), unsaved);
}

bool MainWindow::OptionChecked(OptionBox box) const {
    return SendMessageA(Control(ControlOf(box)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::optional<std::string> MainWindow::AskText(const std::string& caption, const std::string& prompt,
                                               const std::string& initial) {
    const ModalCount::Open open(modals_);
    return InputBox(DialogOwner(), caption, prompt, initial);
}

std::optional<std::string> MainWindow::ChooseFile(const std::string& filter, const std::string& initialDir) {
    const ModalCount::Open open(modals_);
    return win32::ChooseFile(DialogOwner(), filter, initialDir);
}

void MainWindow::ShowAbout() {
    if (!about_) return;
    const ModalCount::Open open(modals_);
    about_->ShowModal(hwnd_);
}

void MainWindow::OpenInEditor(const std::string& path) {
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteA(DialogOwner(), "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (opened > 32) return;
    // Nothing is registered for the file's kind: Notepad is on every Windows.
    const std::string quoted = "\"" + path + "\"";
    ShellExecuteA(DialogOwner(), "open", "notepad.exe", quoted.c_str(), nullptr, SW_SHOWNORMAL);
}

void MainWindow::Forward(int id) {
    if (const auto command = CommandOf(id); command && user_) user_->Command(*command);
}

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    MainWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
    // The one place where an error that escaped a handler is caught: it must never unwind into Windows.
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        try {
            self->events_.HandlerFailed(e);
        } catch (...) {
        }
    } catch (...) {
    }
    return 0;
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    switch (msg) {
    case ids::WM_TRAY:
        OnTray(LOWORD(lParam), wParam);
        break;
    case WM_ACTIVATE:
        // Not the default handling, which gives the frame the focus and leaves Tab dead.
        if (LOWORD(wParam) == WA_INACTIVE) {
            RememberFocus();
        } else {
            if (!HIWORD(wParam)) RestoreFocus();
            events_.Activated();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_ENABLE:
        // A modal box disables the window before it takes the activation, and the focus may be gone by then.
        if (!wParam) RememberFocus();
        break;
    case WM_PAINT:
        layout_.MakePictures(hwnd_, dpi_);
        break;
    case WM_SETCURSOR:
        hints_.OnSetCursor(reinterpret_cast<HWND>(wParam), HIWORD(lParam));
        break;
    case WM_TIMER:
        if (wParam == ids::HIDE_TIMER) {
            Hide();
            KillTimer(hwnd_, ids::HIDE_TIMER);
            return 0;
        }
        if (wParam == ids::REFUSAL_TIMER) {
            KillTimer(hwnd_, ids::REFUSAL_TIMER);
            events_.RefusalStood();
            return 0;
        }
        break;
    case WM_CLOSE:
        Hide(); // the close box only hides; the tray icon brings the window back
        return 0;
    case WM_SYSCOMMAND:
        return DefWindowProcA(hwnd_, msg, wParam, lParam);
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) Forward(LOWORD(wParam));
        return 0;
    case WM_NOTIFY:
        OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) != Control(ids::IDC_CONTROL_LIST)) break;
        OnListMenu(lParam);
        return 0;
    case WM_SETTINGCHANGE:
        events_.SettingsChanged();
        break;
    case WM_DPICHANGED:
        OnDpiChanged(wParam, *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_QUERYENDSESSION:
        return events_.QueryEndSession(lParam) ? TRUE : FALSE;
    case WM_ENDSESSION:
        events_.EndSession(wParam != FALSE, lParam);
        break;
    case WM_DESTROY:
        events_.Destroying();
        return 0;
    case WM_NCDESTROY:
        hwnd_ = nullptr;
        break;
    default:
        if (tray_.OnTaskbarCreated(msg)) return 0;
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void MainWindow::OnTray(UINT event, WPARAM anchor) {
    // The menu opens on the right press, as it always has, and from the keyboard: Enter on the selected
    // icon (NIN_KEYSELECT) or the menu key (WM_CONTEXTMENU, which the shell also sends after a right
    // click, while the menu that click opened is still up). A left click (its press, then NIN_SELECT)
    // brings the window back.
    const bool menu = event == WM_RBUTTONDOWN || event == WM_CONTEXTMENU || event == NIN_KEYSELECT;
    // Under a modal box neither the menu nor the window: a click only brings the box back to the front.
    if (modals_.Any()) {
        if (menu || event == WM_LBUTTONDOWN || event == NIN_SELECT) RaiseModalBox();
        return;
    }
    // The backup runs inside start-up: no list edit and no suspension of the menu's Exit may run inside it.
    if (tray_.ShowingProgress()) return;
    if (event == WM_LBUTTONDOWN || event == NIN_SELECT) {
        ShowWindow(hwnd_, SW_SHOW);
    } else if (event == NIN_BALLOONUSERCLICK) {
        tray_.NoticeEnded();
        Forward(ids::IDM_OPEN_LOG);
    } else if (event == NIN_BALLOONTIMEOUT || event == NIN_BALLOONHIDE) {
        tray_.NoticeEnded();
    } else if (menu) {
        // A keyboard event comes with the icon's point; the mouse's own press is where the pointer is.
        POINT at{GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor)};
        if (event == WM_RBUTTONDOWN || anchor == 0) GetCursorPos(&at);
        const int command = tray_.TrackMenu(hwnd_, at);
        if (command == ids::IDM_RESTORE)
            ShowWindow(hwnd_, SW_SHOW);
        else if (command != 0)
            Forward(command);
    }
}

void MainWindow::OnListMenu(LPARAM screenPoint) {
    HWND list = Control(ids::IDC_CONTROL_LIST);
    std::optional<size_t> index;
    if (screenPoint == -1) {
        // Shift+F10 or the menu key: the selected entry, with the menu under its text.
        index = list_.Selection();
        RECT item{};
        if (!index || !ListView_GetItemRect(list, static_cast<int>(*index), &item, LVIR_LABEL)) return;
        entryMenuAt_ = {item.left, item.bottom};
        ClientToScreen(list, &entryMenuAt_);
    } else {
        // The list selected the entry under the pointer on the button press; a press elsewhere selects none.
        entryMenuAt_ = {GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
        LVHITTESTINFO hit{};
        hit.pt = entryMenuAt_;
        ScreenToClient(list, &hit.pt);
        const int item = ListView_HitTest(list, &hit);
        if (item < 0) return;
        index = static_cast<size_t>(item);
    }
    if (user_) user_->EntryMenuAsked(*index);
}

std::optional<StopAction> MainWindow::ChooseStopAction(StopAction current) {
    struct Item {
        int id;
        StopAction action;
        const char* text;
    };
    static constexpr Item items[] = {
        {ids::IDM_STOP_SUSPEND, StopAction::Suspend, "&Suspend"},
        {ids::IDM_STOP_SHUT_DOWN, StopAction::ShutDown, "Shut &down the guest (suspend if it does not)"},
        {ids::IDM_STOP_LEAVE, StopAction::Leave, "&Leave running"},
    };
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return std::nullopt;
    for (const Item& item : items) {
        AppendMenuA(menu.get(), MF_STRING, static_cast<UINT_PTR>(item.id), item.text);
        if (item.action == current)
            CheckMenuRadioItem(menu.get(), items[0].id, items[2].id, item.id, MF_BYCOMMAND);
    }
    // SM_MENUDROPALIGNMENT is set for a right hand on a pen screen: the menu opens to the left of the point,
    // where the hand does not cover it.
    const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    const int chosen =
        static_cast<int>(TrackPopupMenu(menu.get(), align | TPM_TOPALIGN | TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                        entryMenuAt_.x, entryMenuAt_.y, 0, hwnd_, nullptr));
    for (const Item& item : items)
        if (item.id == chosen) return item.action;
    return std::nullopt;
}

void MainWindow::OnDpiChanged(WPARAM wParam, const RECT& suggested) {
    const DpiChange change = ReadDpiChange(
        static_cast<uint32_t>(wParam), {suggested.left, suggested.top, suggested.right, suggested.bottom});
    dpi_ = change.dpi;
    layout_.Arrange(hwnd_, dpi_);
    const PixelRect& r = change.window;
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    hints_.ControlsMoved();
}

void MainWindow::RememberFocus() {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) focus_ = focus;
}

void MainWindow::RestoreFocus() {
    HWND target = focus_;
    if (!target || !IsWindow(target) || !IsChild(hwnd_, target) || !IsWindowEnabled(target) ||
        !IsWindowVisible(target))
        target = GetNextDlgTabItem(hwnd_, nullptr, FALSE); // the first tab stop, as a dialog starts
    if (target) SetFocus(target);
}

const char* MainWindow::HintOf(int id) const {
    if (id == ids::IDC_TOOL_DIR) return toolDir_.c_str();
    if (id == ids::IDC_USE_SNAPSHOT && !IsWindowEnabled(Control(id))) return SnapshotUnavailableHint;
    if (id == ids::IDC_WIN_START && !IsWindowEnabled(Control(id))) return AutostartUnavailableHint;
    return ControlHint(id);
}

namespace {

struct PopupSearch {
    HWND main, tooltip, found;
};

// A named callback, not a lambda: a lambda converts only to the default calling convention, and the
// 32-bit build needs CALLBACK.
BOOL CALLBACK FindOtherVisibleWindow(HWND hwnd, LPARAM param) {
    auto& s = *reinterpret_cast<PopupSearch*>(param);
    if (hwnd == s.main || hwnd == s.tooltip || !IsWindowVisible(hwnd)) return TRUE;
    s.found = hwnd;
    return FALSE;
}

} // namespace

bool MainWindow::RaiseModalBox() const {
    // A box owned by this window is its last active popup. One shown while the window was hidden has no
    // owner; it is then the first other visible window of this thread in the z-order.
    HWND box = GetLastActivePopup(hwnd_);
    if (box == hwnd_) {
        PopupSearch search{hwnd_, hints_.Tooltip(), nullptr};
        EnumThreadWindows(GetCurrentThreadId(), FindOtherVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return false;
        box = GetLastActivePopup(search.found);
    }
    if (!box || box == hwnd_) return false;
    SetForegroundWindow(box);
    return true;
}

void MainWindow::OnNotify(const NMHDR& header) {
    if (header.code == TTN_GETDISPINFOA) {
        auto& info = const_cast<NMTTDISPINFOA&>(reinterpret_cast<const NMTTDISPINFOA&>(header));
        const char* hint = header.hwndFrom == hints_.Tooltip() ? HintOf(static_cast<int>(header.idFrom))
                                                               : ToolHint(header.idFrom);
        if (hint) info.lpszText = const_cast<char*>(hint);
        return;
    }
    if (header.idFrom == static_cast<UINT_PTR>(ids::IDC_CONTROL_LIST) && header.code == LVN_ITEMCHANGED &&
        user_)
        list_.OnItemChanged(reinterpret_cast<const NMLISTVIEW&>(header), *user_);
}

} // namespace tarnwick::win32
