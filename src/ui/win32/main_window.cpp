#include "ui/win32/main_window.h"

#include "common/product.h"
#include "common/win32/dpi.h"
#include "ui/win32/ids.h"
#include "ui/win32/pictures.h"
#include "ui/win32/resource_ids.h"

#include <commctrl.h>
#include <shellapi.h>

namespace tarnwick::win32 {

namespace {

constexpr const char* kClassName = "TfrmMain";
constexpr int kClientWidth = 574, kClientHeight = 344;
constexpr int kLeft = 339, kTop = 316;

enum class FontKind { Normal, Bold, Title, Italic };

struct ControlSpec {
    int id;
    const char* cls;
    const char* caption;
    DWORD style;
    int x, y, w, h;
    FontKind font;
    const char* hint;
};

// Created in this order: the Tab order is the order of the controls that take Tab.
const ControlSpec kControls[] = {
    {ids::IDC_LBVMS, WC_LISTVIEWA, "",
     WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 8, 32, 561, 153,
     FontKind::Normal,
     "This is a list of VMs and Teams that you can currently control. They will be started in the order "
     "listed, and suspended in reverse order."},
    {ids::IDC_CHKWINSTART, "BUTTON", "Automatically start VMs when I log into Windows",
     WS_TABSTOP | BS_AUTOCHECKBOX, 8, 224, 281, 17, FontKind::Normal, "Adds \"Tarnwick /START\" to user's registry"},
    {ids::IDC_BUTABOUT, "BUTTON", "About", WS_TABSTOP | BS_PUSHBUTTON, 528, 8, 41, 17, FontKind::Normal,
     "Info about Tarnwick"},
    {ids::IDC_CHKBKPALL, "BUTTON", "Back up ALL running VMs (not just controlled ones)", WS_TABSTOP | BS_AUTOCHECKBOX,
     8, 248, 281, 17, FontKind::Normal, "Used by /BKP option"},
    {ids::IDC_CHKSNAPSHOT, "BUTTON", "Use snapshot instead of suspend for backups", WS_TABSTOP | BS_AUTOCHECKBOX, 8,
     272, 273, 17, FontKind::Normal,
     "Less downtime during backup, but vm is \"crashed\" after restoring and must be reverted to running state."},
    {ids::IDC_LABEL1, "STATIC", "VMs and Teams to Control (Start && Stop automatically):", SS_LEFTNOWORDWRAP, 8, 8, 379, 16,
     FontKind::Title, nullptr},
    {ids::IDC_CHKENABLED, "BUTTON", "= Control Enabled", BS_AUTOCHECKBOX, 16, 187, 121, 17, FontKind::Italic,
     "Click the checkbox next to each list item to enable/disable it."},
    {ids::IDC_BUTLOSE, "BUTTON", "&Forget Changes", BS_PUSHBUTTON | BS_FLAT, 312, 232, 129, 33, FontKind::Bold,
     "Reload previous configuration"},
    {ids::IDC_BUTSAVE, "BUTTON", "&Save Changes", BS_PUSHBUTTON | BS_FLAT, 448, 232, 121, 33, FontKind::Bold,
     "What do you think it does?"},
    {ids::IDC_LABEL2, "STATIC", "VMWare Installation Directory:", SS_LEFTNOWORDWRAP, 0, 328, 174, 13, FontKind::Bold, nullptr},
    // A tool directory may hold "&": show it as it is.
    {ids::IDC_LBLVMWAREDIR, "STATIC", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 176, 328, 231, 13,
     FontKind::Normal, nullptr},
};

constexpr int kToolbarX = 328, kToolbarY = 192, kToolbarW = 241, kToolbarH = 33;
constexpr int kButtonW = 25, kButtonH = 23, kSeparatorW = 8;

struct ToolSpec {
    int id;   // 0 for a separator
    int image;
    const char* hint;
};

const ToolSpec kTools[] = {
    {ids::IDC_TBNEW, 6, "Add VM/Team to the list"},
    {ids::IDC_TBRUNNING, 10, "Add currently running VMs to list"},
    {ids::IDC_TBDELAY, 21, "Add a delay to the startup sequence (suspend delay = 1/10th start delay)"},
    {ids::IDC_TBPROMPT, 22, "Wait for user to confirm launch of next VM (no affect on suspend)"},
    {0, 0, nullptr},
    {ids::IDC_TBDEL, 16, "Delete this VM/Team (Right-click to delete all unchecked VMs/Teams)"},
    {0, 0, nullptr},
    {0, 0, nullptr},
    {ids::IDC_TBUP, 18, "Move this item up in the list"},
    {ids::IDC_TBDN, 19, "Move this item down in the list"},
    {0, 0, nullptr},
    {ids::IDC_TBLAUNCH, 20, "Launch this VM"},
};

// Keeps the focus where it was: the Save and Forget buttons act but never take the focus.
LRESULT CALLBACK NoFocusButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETFOCUS) {
        HWND previous = reinterpret_cast<HWND>(wParam);
        if (previous && IsWindow(previous) && previous != hwnd) {
            const LRESULT r = DefSubclassProc(hwnd, msg, wParam, lParam);
            PostMessageA(GetParent(hwnd), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(previous), TRUE);
            return r;
        }
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

} // namespace

MainWindow::MainWindow(MainWindowEvents& events) : events_(events) {}

MainWindow::~MainWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    if (toolbarImages_) ImageList_Destroy(toolbarImages_);
    if (floppyImages_) ImageList_Destroy(floppyImages_);
    if (icon_) DestroyIcon(icon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

bool MainWindow::Create(HINSTANCE instance) {
    icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                          GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    smallIcon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_DEFAULTCOLOR));
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::WndProc;
    wc.hInstance = instance;
    wc.hIcon = icon_;
    wc.hIconSm = smallIcon_;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, kClassName, ProgramName, style, kLeft, kTop, kClientWidth,
                            kClientHeight, nullptr, nullptr, instance, this);
    if (!hwnd_) return false;
    dpi_ = WindowDpi(hwnd_);
    CreateFonts();
    CreateControls();
    Layout();

    popup_.reset(CreatePopupMenu());
    AppendMenuA(popup_.get(), MF_STRING, ids::IDM_RESTORE, "&Restore");
    AppendMenuA(popup_.get(), MF_STRING, ids::IDM_EXIT, "E&xit");
    SetMenuDefaultItem(popup_.get(), ids::IDM_RESTORE, FALSE);
    return true;
}

// The layout was drawn for MS Sans Serif at 8 points, as Windows renders it. Where the face renders
// wider (Wine's stand-in does), the fonts shrink just enough that the captions stay whole.
static double LayoutFontFactor(int height) {
    HDC dc = GetDC(nullptr);
    HFONT probe = CreateFontA(-height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    HGDIOBJ old = SelectObject(dc, probe);
    const char* sample = "VMWare Installation Directory:";
    SIZE extent{};
    GetTextExtentPoint32A(dc, sample, lstrlenA(sample), &extent);
    SelectObject(dc, old);
    DeleteObject(probe);
    ReleaseDC(nullptr, dc);
    // That bold label has 174 of 11 units at 8 points.
    const double room = 174.0 * height / 11.0;
    return extent.cx > room ? room / extent.cx : 1.0;
}

void MainWindow::CreateFonts() {
    const double factor = LayoutFontFactor(Scale(11));
    auto make = [this, factor](int height96, int weight, bool italic) {
        const int height = static_cast<int>(Scale(height96) * factor);
        return UniqueGdiObject(CreateFontA(-height, 0, 0, 0, weight, italic, FALSE, FALSE, DEFAULT_CHARSET,
                                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                           DEFAULT_PITCH | FF_SWISS, "MS Sans Serif"));
    };
    font_ = make(11, FW_NORMAL, false);
    boldFont_ = make(11, FW_BOLD, false);
    titleFont_ = make(13, FW_BOLD, false);
    italicFont_ = make(11, FW_NORMAL, true);
}

void MainWindow::CreateControls() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd_, GWLP_HINSTANCE));
    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                               0, 0, hwnd_, nullptr, instance, nullptr);
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(360));

    for (const ControlSpec& c : kControls) {
        const DWORD exStyle = c.id == ids::IDC_LBVMS ? WS_EX_CLIENTEDGE : 0;
        HWND h = CreateWindowExA(exStyle, c.cls, c.caption, WS_CHILD | WS_VISIBLE | c.style, 0, 0, 0, 0, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
        if (!h) continue;
        if (c.hint) {
            TOOLINFOA ti{};
            ti.cbSize = sizeof ti;
            ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            ti.hwnd = hwnd_;
            ti.uId = reinterpret_cast<UINT_PTR>(h);
            ti.lpszText = const_cast<char*>(c.hint);
            SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
        }
    }
    SendMessageA(Control(ids::IDC_CHKENABLED), BM_SETCHECK, BST_CHECKED, 0);

    HWND list = Control(ids::IDC_LBVMS);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH;
    column.cx = Scale(540);
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));

    for (int id : {ids::IDC_BUTSAVE, ids::IDC_BUTLOSE}) {
        SetWindowSubclass(Control(id), NoFocusButtonProc, 1, 0);
        EnableWindow(Control(id), FALSE);
    }

    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                                   WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NOPARENTALIGN |
                                       CCS_NORESIZE | CCS_NODIVIDER,
                                   0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::IDC_TOOLBAR)),
                                   instance, nullptr);
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    for (const ToolSpec& t : kTools) {
        TBBUTTON b{};
        if (t.id == 0) {
            b.iBitmap = Scale(kSeparatorW);
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = t.image;
            b.idCommand = t.id;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(b);
    }
    SendMessageA(toolbar, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
}

void MainWindow::Layout() {
    const int pictureSize = Scale(16);
    if (toolbarImages_) ImageList_Destroy(toolbarImages_);
    toolbarImages_ = CreateToolbarImages(pictureSize);
    if (floppyImages_) ImageList_Destroy(floppyImages_);
    floppyImages_ = CreateFloppyImages(pictureSize);

    for (const ControlSpec& c : kControls) {
        HWND h = Control(c.id);
        if (!h) continue;
        MoveWindow(h, Scale(c.x), Scale(c.y), Scale(c.w), Scale(c.h), FALSE);
        HGDIOBJ font = c.font == FontKind::Bold     ? boldFont_.get()
                       : c.font == FontKind::Title  ? titleFont_.get()
                       : c.font == FontKind::Italic ? italicFont_.get()
                                                    : font_.get();
        SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    SendMessageA(Control(ids::IDC_LBVMS), LVM_SETCOLUMNWIDTH, 0, Scale(561) - GetSystemMetrics(SM_CXVSCROLL) - 4);

    for (int id : {ids::IDC_BUTSAVE, ids::IDC_BUTLOSE}) {
        BUTTON_IMAGELIST bil{};
        bil.himl = floppyImages_;
        bil.margin = {Scale(4), 0, Scale(4), 0};
        bil.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
        SendMessageA(Control(id), BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&bil));
    }

    HWND toolbar = Control(ids::IDC_TOOLBAR);
    SendMessageA(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolbarImages_));
    SendMessageA(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(pictureSize, pictureSize));
    SendMessageA(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(Scale(kButtonW), Scale(kButtonH)));
    MoveWindow(toolbar, Scale(kToolbarX), Scale(kToolbarY), Scale(kToolbarW), Scale(kToolbarH), FALSE);

    RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_EXSTYLE)));
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The laid-out position may be off a small screen; keep the whole window on its monitor.
    RECT wr;
    GetWindowRect(hwnd_, &wr);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (GetMonitorInfoA(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi)) {
        const RECT& work = mi.rcWork;
        int x = wr.left, y = wr.top;
        if (wr.right > work.right) x -= wr.right - work.right;
        if (wr.bottom > work.bottom) y -= wr.bottom - work.bottom;
        if (x < work.left) x = work.left;
        if (y < work.top) y = work.top;
        if (x != wr.left || y != wr.top)
            SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::SetCaption(const std::string& text) { SetWindowTextA(hwnd_, text.c_str()); }

void MainWindow::SetToolDirCaption(const std::string& text) {
    SetWindowTextA(Control(ids::IDC_LBLVMWAREDIR), text.c_str());
}

std::string MainWindow::ToolDirCaption() const {
    HWND label = Control(ids::IDC_LBLVMWAREDIR);
    std::string s(static_cast<size_t>(GetWindowTextLengthA(label)) + 1, '\0');
    s.resize(static_cast<size_t>(GetWindowTextA(label, s.data(), static_cast<int>(s.size()))));
    return s;
}

void MainWindow::ShowForm() {
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void MainWindow::HideForm() { ShowWindow(hwnd_, SW_HIDE); }

void MainWindow::EnableHideTimer() { SetTimer(hwnd_, ids::TIMER1, 1000, nullptr); }

void MainWindow::FillTrayRecord() {
    tray_ = NOTIFYICONDATAA{};
    // The first form of the record: understood by every shell since Windows 95.
    tray_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tray_.hWnd = hwnd_;
    tray_.uID = ids::TRAY_ID;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_.uCallbackMessage = ids::WM_TRAY;
    tray_.hIcon = smallIcon_ ? smallIcon_ : icon_;
    lstrcpynA(tray_.szTip, "Tarnwick (Click for Config.)", sizeof tray_.szTip);
}

void MainWindow::AddTrayIcon() {
    FillTrayRecord();
    // Wanted from now on, even if the shell is not up yet: it is added again when the taskbar announces itself.
    trayWanted_ = true;
    Shell_NotifyIconA(NIM_ADD, &tray_);
}

void MainWindow::RemoveTrayIcon() {
    if (tray_.cbSize) Shell_NotifyIconA(NIM_DELETE, &tray_);
    trayWanted_ = false;
}

void MainWindow::SetListLines(const std::vector<ListLine>& lines) {
    HWND list = Control(ids::IDC_LBVMS);
    fillingList_ = true;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    ListView_SetItemCount(list, static_cast<int>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(lines[i].text.c_str());
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        ListView_SetCheckState(list, static_cast<int>(i), lines[i].checked);
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    fillingList_ = false;
}

void MainWindow::SetListLine(int index, const ListLine& line) {
    HWND list = Control(ids::IDC_LBVMS);
    fillingList_ = true;
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(line.text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    ListView_SetCheckState(list, index, line.checked);
    fillingList_ = false;
}

void MainWindow::InsertListLine(int index, const ListLine& line) {
    HWND list = Control(ids::IDC_LBVMS);
    fillingList_ = true;
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(line.text.c_str());
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    ListView_SetCheckState(list, index, line.checked);
    ListView_EnsureVisible(list, index, FALSE);
    fillingList_ = false;
}

void MainWindow::RemoveListLine(int index) {
    fillingList_ = true;
    ListView_DeleteItem(Control(ids::IDC_LBVMS), index);
    fillingList_ = false;
}

void MainWindow::SetListSelection(int index) {
    HWND list = Control(ids::IDC_LBVMS);
    fillingList_ = true;
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (index >= 0) {
        ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, index, FALSE);
    }
    fillingList_ = false;
}

int MainWindow::ListSelection() const {
    return ListView_GetNextItem(Control(ids::IDC_LBVMS), -1, LVNI_SELECTED);
}

void MainWindow::SetCheck(int controlId, bool checked) {
    SendMessageA(Control(controlId), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool MainWindow::Checked(int controlId) const {
    return SendMessageA(Control(controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::EnableControl(int controlId, bool enabled) { EnableWindow(Control(controlId), enabled); }

void MainWindow::SetUnsavedChanges(bool unsaved) {
    EnableControl(ids::IDC_BUTSAVE, unsaved);
    EnableControl(ids::IDC_BUTLOSE, unsaved);
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
        OnTray(lParam);
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) events_.FormActivate();
        break;
    case WM_TIMER:
        if (wParam == ids::TIMER1) {
            HideForm();
            KillTimer(hwnd_, ids::TIMER1);
            return 0;
        }
        break;
    case WM_CLOSE:
        HideForm(); // the close box only hides; the tray icon brings the window back
        return 0;
    case WM_SYSCOMMAND:
        return DefWindowProcA(hwnd_, msg, wParam, lParam);
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) events_.Command(LOWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        LRESULT result = 0;
        OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
        return result;
    }
    case WM_SETTINGCHANGE:
        events_.SettingsChanged();
        break;
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        CreateFonts();
        Layout();
        return 0;
    }
    case WM_QUERYENDSESSION:
        return events_.QueryEndSession(lParam) ? TRUE : FALSE;
    case WM_ENDSESSION:
        events_.EndSession(wParam != FALSE, lParam);
        break;
    case WM_DESTROY:
        events_.FormDestroy();
        return 0;
    case WM_NCDESTROY:
        hwnd_ = nullptr;
        break;
    default:
        if (taskbarCreated_ && msg == taskbarCreated_ && trayWanted_) {
            // Explorer restarted: without this the icon, and with it the way back to the window, is gone.
            Shell_NotifyIconA(NIM_ADD, &tray_);
            return 0;
        }
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void MainWindow::OnTray(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN) {
        ShowWindow(hwnd_, SW_SHOW);
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        // Without the foreground the menu would not close on a click elsewhere.
        SetForegroundWindow(hwnd_);
        POINT pt{};
        GetCursorPos(&pt);
        const int command = TrackPopupMenu(popup_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, pt.x, pt.y, 0,
                                           hwnd_, nullptr);
        PostMessageA(hwnd_, WM_NULL, 0, 0);
        if (command == ids::IDM_RESTORE)
            ShowWindow(hwnd_, SW_SHOW);
        else if (command != 0)
            events_.Command(command);
    }
}

void MainWindow::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.code == TTN_GETDISPINFOA && header.hwndFrom != tooltip_) {
        auto& info = const_cast<NMTTDISPINFOA&>(reinterpret_cast<const NMTTDISPINFOA&>(header));
        for (const ToolSpec& t : kTools)
            if (t.id != 0 && static_cast<UINT_PTR>(t.id) == header.idFrom) info.lpszText = const_cast<char*>(t.hint);
        return;
    }
    if (header.idFrom == static_cast<UINT_PTR>(ids::IDC_LBVMS) && header.code == LVN_ITEMCHANGED && !fillingList_) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (change.iItem < 0) return;
        if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) &&
            (change.uOldState & LVIS_STATEIMAGEMASK) != 0)
            events_.CheckToggled(change.iItem);
        if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED))
            events_.SelectionChanged(ListSelection());
    }
    result = 0;
}

} // namespace tarnwick::win32
