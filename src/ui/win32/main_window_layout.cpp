#include "ui/win32/main_window_layout.h"

#include "ui/window_geometry.h"

#include "common/win32/dpi.h"
#include "ui/win32/ids.h"
#include "ui/win32/pictures.h"

#include <commctrl.h>
#include <windowsx.h>

#include <vector>

namespace tarnwick::win32 {

namespace {

enum class FontKind { Normal, Bold, Title, Italic };

// The list's second column, at 96 DPI: wide enough for its longest text, "Leave running".
constexpr int AtLogoffWidth = 96;

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
const ControlSpec ControlTable[] = {
    {ids::IDC_CONTROL_LIST, WC_LISTVIEWA, "",
     WS_TABSTOP | LVS_REPORT | LVS_NOSORTHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 8, 32, 561, 153,
     FontKind::Normal,
     "This is a list of VMs and Teams that you can currently control. They will be started in the order "
     "listed, and suspended in reverse order. The At logoff column says what logoff and Exit do with each "
     "VM: Suspend; Shut down (its guest shuts itself down, and it is suspended instead when it is not off "
     "within the tool time limit); or Leave running. Right-click a VM, or press Shift+F10, to choose."},
    {ids::IDC_WIN_START, "BUTTON", "Automatically start VMs when I log into Windows",
     WS_TABSTOP | BS_AUTOCHECKBOX, 8, 224, 281, 17, FontKind::Normal,
     "Adds \"Tarnwick /START\" to user's registry"},
    // Under the logon start, which it goes on from; the two backup boxes sit a line lower for it.
    {ids::IDC_RESUME_OTHERS, "BUTTON", "Also restart the VMs I left running at logoff",
     WS_TABSTOP | BS_AUTOCHECKBOX, 8, 248, 281, 17, FontKind::Normal,
     "At the next /START, after the list, starts again the VMs that Tarnwick suspended at logoff or Exit "
     "but would not start itself (not in the list, or unchecked). They are kept in Tarnwick.resume."},
    {ids::IDC_ABOUT, "BUTTON", "About", WS_TABSTOP | BS_PUSHBUTTON, 528, 8, 41, 17, FontKind::Normal,
     "Info about Tarnwick"},
    {ids::IDC_BKP_ALL, "BUTTON", "Back up ALL running VMs (not just controlled ones)",
     WS_TABSTOP | BS_AUTOCHECKBOX, 8, 272, 281, 17, FontKind::Normal, "Used by /BKP option"},
    {ids::IDC_USE_SNAPSHOT, "BUTTON", "Use snapshot instead of suspend for backups",
     WS_TABSTOP | BS_AUTOCHECKBOX, 8, 296, 273, 17, FontKind::Normal,
     "Less downtime during backup, but vm is \"crashed\" after restoring and must be reverted to running "
     "state."},
    {ids::IDC_LIST_TITLE, "STATIC", "VMs and Teams to Control (Start && Stop automatically):",
     SS_LEFTNOWORDWRAP, 8, 8, 379, 16, FontKind::Title, nullptr},
    {ids::IDC_ENABLED_LEGEND, "BUTTON", "= Control Enabled", BS_AUTOCHECKBOX, 16, 187, 121, 17,
     FontKind::Italic, "Click the checkbox next to each list item to enable/disable it."},
    {ids::IDC_FORGET, "BUTTON", "&Forget Changes", BS_PUSHBUTTON | BS_FLAT, 312, 232, 129, 33, FontKind::Bold,
     "Reload previous configuration"},
    {ids::IDC_SAVE, "BUTTON", "&Save Changes", BS_PUSHBUTTON | BS_FLAT, 448, 232, 121, 33, FontKind::Bold,
     "What do you think it does?"},
    {ids::IDC_TOOL_DIR_TITLE, "STATIC", "VMWare Installation Directory:", SS_LEFTNOWORDWRAP, 0, 328, 174, 13,
     FontKind::Bold, nullptr},
    // A tool directory may hold "&": show it as it is. It has the room up to the window's right margin,
    // so that the whole directory shows where it fits; its hint always holds the whole of it.
    {ids::IDC_TOOL_DIR, "STATIC", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 176, 328, 393, 13,
     FontKind::Normal, nullptr},
};

// One button wider than the stock layout, grown to the left, for the wait button beside the delay.
constexpr int ToolbarX = 303, ToolbarY = 192, ToolbarW = 266, ToolbarH = 33;
constexpr int ButtonW = 25, ButtonH = 23, SeparatorW = 8;

struct ToolSpec {
    int id; // 0 for a separator
    int image;
    const char* hint;
};

const ToolSpec ToolTable[] = {
    {ids::IDC_ADD_FILE, ImageNewPage, "Add VM/Team to the list"},
    {ids::IDC_ADD_RUNNING, ImageRunningVms, "Add currently running VMs to list"},
    {ids::IDC_ADD_DELAY, ImageAlarmClock,
     "Add a delay to the startup sequence (suspend delay = 1/10th start delay)"},
    {ids::IDC_ADD_WAIT, ImageHourglass,
     "Wait until the VM above is ready (its VMware Tools run), at most this many seconds"},
    {ids::IDC_ADD_PROMPT, ImagePrompt, "Wait for user to confirm launch of next VM (no affect on suspend)"},
    {0, 0, nullptr},
    {ids::IDC_DELETE, ImageWasteBin, "Delete this VM/Team (Right-click to delete all unchecked VMs/Teams)"},
    {0, 0, nullptr},
    {0, 0, nullptr},
    {ids::IDC_MOVE_UP, ImageArrowUp, "Move this item up in the list"},
    {ids::IDC_MOVE_DOWN, ImageArrowDown, "Move this item down in the list"},
    {0, 0, nullptr},
    {ids::IDC_LAUNCH, ImageRocket, "Launch this VM"},
};

// Every control, toolbar button and tray menu item that gives a command.
struct CommandSpec {
    int id;
    UserCommand command;
};

const CommandSpec CommandTable[] = {
    {ids::IDC_ADD_FILE, UserCommand::AddFile},
    {ids::IDC_ADD_RUNNING, UserCommand::AddRunningVms},
    {ids::IDC_ADD_DELAY, UserCommand::AddDelay},
    {ids::IDC_ADD_WAIT, UserCommand::AddWait},
    {ids::IDC_ADD_PROMPT, UserCommand::AddPrompt},
    {ids::IDC_DELETE, UserCommand::Delete},
    {ids::IDC_MOVE_UP, UserCommand::MoveUp},
    {ids::IDC_MOVE_DOWN, UserCommand::MoveDown},
    {ids::IDC_LAUNCH, UserCommand::Launch},
    {ids::IDC_SAVE, UserCommand::Save},
    {ids::IDC_FORGET, UserCommand::Forget},
    {ids::IDC_WIN_START, UserCommand::WinStartBox},
    {ids::IDC_RESUME_OTHERS, UserCommand::ResumeOthersBox},
    {ids::IDC_BKP_ALL, UserCommand::BkpAllBox},
    {ids::IDC_USE_SNAPSHOT, UserCommand::SnapshotBox},
    {ids::IDC_ABOUT, UserCommand::About},
    {ids::IDM_OPEN_LOG, UserCommand::OpenLog},
    {ids::IDM_EXIT, UserCommand::Exit},
};

int Scale(int value, int dpi) {
    return ScaleToDpi(value, dpi);
}

// The Save and Forget buttons act but never take the focus: a button takes it on the press, and the
// click disables it, which would leave the focus nowhere and the keyboard dead. So the press is handled
// here, as the button would, without SetFocus. Alt+S and Alt+F arrive as BM_CLICK, which the button
// turns into the same press and release.
LRESULT CALLBACK ClickWithoutFocusProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR) {
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetCapture(hwnd);
        SendMessageA(hwnd, BM_SETSTATE, TRUE, 0);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == hwnd) {
            RECT client;
            GetClientRect(hwnd, &client);
            const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            SendMessageA(hwnd, BM_SETSTATE, PtInRect(&client, pt), 0);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (GetCapture() == hwnd) {
            const bool pressed = (SendMessageA(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
            ReleaseCapture();
            if (pressed)
                SendMessageA(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                             reinterpret_cast<LPARAM>(hwnd));
            return 0;
        }
        break;
    case WM_CAPTURECHANGED:
        SendMessageA(hwnd, BM_SETSTATE, FALSE, 0);
        return 0;
    default:
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

HFONT CreateLayoutFont(int height, int weight, bool italic) {
    return CreateFontA(-height, 0, 0, 0, weight, italic, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
}

// The layout was drawn for MS Sans Serif at 8 points, as Windows renders it. Where the face renders
// wider (Wine's stand-in does), the fonts shrink just enough that the captions stay whole.
double LayoutFontFactor(int height) {
    const WindowDc screen(nullptr);
    const UniqueGdiObject probe(CreateLayoutFont(height, FW_BOLD, false));
    const char* sample = "VMWare Installation Directory:";
    SIZE extent{};
    {
        const SelectedObject selected(screen.get(), probe.get());
        GetTextExtentPoint32A(screen.get(), sample, lstrlenA(sample), &extent);
    }
    // That bold label has 174 of 11 units at 8 points.
    const double room = 174.0 * height / 11.0;
    return extent.cx > room ? room / extent.cx : 1.0;
}

} // namespace

std::optional<UserCommand> CommandOf(int id) {
    for (const CommandSpec& c : CommandTable)
        if (c.id == id) return c.command;
    return std::nullopt;
}

int ControlOf(OptionBox box) {
    switch (box) {
    case OptionBox::WinStart:
        return ids::IDC_WIN_START;
    case OptionBox::ResumeOthers:
        return ids::IDC_RESUME_OTHERS;
    case OptionBox::BkpAll:
        return ids::IDC_BKP_ALL;
    case OptionBox::Snapshot:
        return ids::IDC_USE_SNAPSHOT;
    }
    return 0;
}

const char* ControlHint(int id) {
    for (const ControlSpec& c : ControlTable)
        if (c.id == id) return c.hint;
    return nullptr;
}

std::vector<int> HintedControls() {
    std::vector<int> hinted{ids::IDC_TOOL_DIR};
    for (const ControlSpec& c : ControlTable)
        if (c.hint) hinted.push_back(c.id);
    return hinted;
}

const char* ToolHint(UINT_PTR id) {
    for (const ToolSpec& t : ToolTable)
        if (t.id != 0 && static_cast<UINT_PTR>(t.id) == id) return t.hint;
    return nullptr;
}

void MainWindowLayout::CreateControls(HWND window, int dpi) const {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));

    for (const ControlSpec& c : ControlTable) {
        const DWORD exStyle = c.id == ids::IDC_CONTROL_LIST ? WS_EX_CLIENTEDGE : 0;
        CreateWindowExA(exStyle, c.cls, c.caption, WS_CHILD | WS_VISIBLE | c.style, 0, 0, 0, 0, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    }
    SendMessageA(GetDlgItem(window, ids::IDC_ENABLED_LEGEND), BM_SETCHECK, BST_CHECKED, 0);

    HWND list = GetDlgItem(window, ids::IDC_CONTROL_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    // Headed, so that the plan for a logoff reads at a glance.
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = Scale(540 - AtLogoffWidth, dpi);
    column.pszText = const_cast<char*>("VM or Team");
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = Scale(AtLogoffWidth, dpi);
    column.pszText = const_cast<char*>("At logoff");
    SendMessageA(list, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));

    for (int id : {ids::IDC_SAVE, ids::IDC_FORGET}) {
        SetWindowSubclass(GetDlgItem(window, id), ClickWithoutFocusProc, 1, 0);
        EnableWindow(GetDlgItem(window, id), FALSE);
    }

    HWND toolbar =
        CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                        WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NOPARENTALIGN |
                            CCS_NORESIZE | CCS_NODIVIDER,
                        0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::IDC_TOOLBAR)),
                        instance, nullptr);
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    for (const ToolSpec& t : ToolTable) {
        TBBUTTON b{};
        if (t.id == 0) {
            b.iBitmap = Scale(SeparatorW, dpi);
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

void MainWindowLayout::CreateFonts(int dpi) {
    const double factor = LayoutFontFactor(Scale(11, dpi));
    auto make = [dpi, factor](int height96, int weight, bool italic) {
        return UniqueGdiObject(
            CreateLayoutFont(static_cast<int>(Scale(height96, dpi) * factor), weight, italic));
    };
    font_ = make(11, FW_NORMAL, false);
    boldFont_ = make(11, FW_BOLD, false);
    titleFont_ = make(13, FW_BOLD, false);
    italicFont_ = make(11, FW_NORMAL, true);
}

void MainWindowLayout::Arrange(HWND window, int dpi) {
    CreateFonts(dpi);
    auto scale = [dpi](int value) { return Scale(value, dpi); };

    for (const ControlSpec& c : ControlTable) {
        HWND h = GetDlgItem(window, c.id);
        if (!h) continue;
        const PixelRect r = ScaleToDpi(c.x, c.y, c.w, c.h, dpi);
        MoveWindow(h, r.left, r.top, r.Width(), r.Height(), FALSE);
        HGDIOBJ font = c.font == FontKind::Bold     ? boldFont_.get()
                       : c.font == FontKind::Title  ? titleFont_.get()
                       : c.font == FontKind::Italic ? italicFont_.get()
                                                    : font_.get();
        SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    HWND list = GetDlgItem(window, ids::IDC_CONTROL_LIST);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0,
                 scale(561 - AtLogoffWidth) - GetSystemMetrics(SM_CXVSCROLL) - 4);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, scale(AtLogoffWidth));

    HWND toolbar = GetDlgItem(window, ids::IDC_TOOLBAR);
    SendMessageA(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(scale(16), scale(16)));
    SendMessageA(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(scale(ButtonW), scale(ButtonH)));
    const PixelRect bar = ScaleToDpi(ToolbarX, ToolbarY, ToolbarW, ToolbarH, dpi);
    MoveWindow(toolbar, bar.left, bar.top, bar.Width(), bar.Height(), FALSE);

    // Pictures already shown are drawn again for the new DPI; else they wait for the first paint.
    if (picturesDpi_ != 0) MakePictures(window, dpi);
    InvalidateRect(window, nullptr, TRUE);
}

void MainWindowLayout::MakePictures(HWND window, int dpi) {
    if (picturesDpi_ == dpi) return;
    picturesDpi_ = dpi;
    const int pictureSize = Scale(16, dpi);
    toolbarImages_ = CreateToolbarImages(pictureSize);
    floppyImages_ = CreateFloppyImages(pictureSize);

    for (int id : {ids::IDC_SAVE, ids::IDC_FORGET}) {
        BUTTON_IMAGELIST bil{};
        bil.himl = floppyImages_.get();
        bil.margin = {Scale(4, dpi), 0, Scale(4, dpi), 0};
        bil.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
        HWND button = GetDlgItem(window, id);
        SendMessageA(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&bil));
        InvalidateRect(button, nullptr, TRUE);
    }
    HWND toolbar = GetDlgItem(window, ids::IDC_TOOLBAR);
    SendMessageA(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolbarImages_.get()));
    InvalidateRect(toolbar, nullptr, TRUE);
}

void MainWindowLayout::PlaceWindow(HWND window, int dpi) {
    RECT empty{0, 0, 0, 0};
    AdjustFrameForDpi(empty, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)),
                      static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)), dpi);
    PixelRect r = FrameAround(InitialLeft, InitialTop, ClientWidth, ClientHeight, dpi,
                              {empty.left, empty.top, empty.right, empty.bottom});
    const RECT laidOut{r.left, r.top, r.right, r.bottom};
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (GetMonitorInfoA(MonitorFromRect(&laidOut, MONITOR_DEFAULTTONEAREST), &mi))
        r = KeepOnWorkArea(r, {mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom});
    SetWindowPos(window, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace tarnwick::win32
