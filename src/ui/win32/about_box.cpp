#include "ui/win32/about_box.h"

#include "common/win32/dpi.h"
#include "common/win32/handles.h"
#include "common/win32/module.h"
#include "common/win32/record_sizes.h"
#include "ui/about_info.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/version_info.h"

#include <commctrl.h>
#include <shellapi.h>

namespace tarnwick::win32 {

namespace {

// Layout at 96 DPI, in client pixels; scaled to the window's DPI when shown. Kept in pixels rather than
// in the template's dialog units: those follow the font's average width (1.5 px for MS Sans Serif on
// Windows, 1.75 px for Wine's stand-in), so they could neither hit these places nor give one box on both.
constexpr int ClientWidth = 298, ClientHeight = 213;
constexpr RECT Panel = {8, 8, 289, 169};
constexpr RECT ProgramIcon = {16, 16, 81, 73};
constexpr POINT ProductNameAt = {96, 24}, VersionAt = {96, 48}, CopyrightAt = {16, 88},
                CommentsAt = {16, 112};
constexpr RECT LinkArea = {112, 130, 156, 143}; // the link is centred on it
constexpr RECT OkButton = {111, 180, 186, 205};

// One showing of the box: the window and the icon it shows live as long as this object.
class AboutDialog {
  public:
    AboutDialog(HINSTANCE instance, const AboutBox::Texts& texts) : instance_(instance), texts_(texts) {}

    INT_PTR Run(HWND owner) {
        owner_ = owner;
        // The link is a SysLink, its hint a tooltip.
        const INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LINK_CLASS | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        return DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUT), owner, DialogProc,
                               reinterpret_cast<LPARAM>(this));
    }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_INITDIALOG) {
            SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
            auto* self = reinterpret_cast<AboutDialog*>(lParam);
            self->hwnd_ = hwnd;
            self->OnInitDialog();
            return TRUE; // the focus goes to OK, the only tab stop
        }
        auto* self = reinterpret_cast<AboutDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
        if (!self) return FALSE;
        switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        case WM_NOTIFY: {
            const auto* note = reinterpret_cast<const NMHDR*>(lParam);
            if (note->idFrom != IDC_ABOUT_LINK || (note->code != NM_CLICK && note->code != NM_RETURN))
                return FALSE;
            self->OpenHomePage();
            return TRUE;
        }
        default:
            return FALSE;
        }
    }

    int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    RECT Scale(const RECT& r) const { return {Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom)}; }

    HWND Place(int id, const RECT& r) const {
        HWND control = GetDlgItem(hwnd_, id);
        SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return control;
    }

    // A label sized to its text, like an auto-sized label.
    void ShowLabel(int id, const std::string& text, POINT at) {
        HWND label = GetDlgItem(hwnd_, id);
        SetWindowTextA(label, text.c_str());
        const WindowDc dc(label);
        const SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
        SIZE size{0, 0};
        GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
        TEXTMETRICA tm{};
        GetTextMetricsA(dc.get(), &tm);
        const int x = Scale(at.x), y = Scale(at.y);
        Place(id, {x, y, x + size.cx, y + tm.tmHeight});
    }

    void OnInitDialog() {
        dpi_ = WindowDpi(hwnd_);
        SetWindowTextA(hwnd_, texts_.caption.c_str());
        Place(IDC_ABOUT_PANEL, Scale(Panel));
        ShowProgramIcon();
        ShowLabel(IDC_ABOUT_PRODUCTNAME, texts_.productName, ProductNameAt);
        ShowLabel(IDC_ABOUT_VERSION, texts_.version, VersionAt);
        ShowLabel(IDC_ABOUT_COPYRIGHT, texts_.copyright, CopyrightAt);
        ShowLabel(IDC_ABOUT_COMMENTS, texts_.comments, CommentsAt);
        ShowLink();
        Place(IDOK, Scale(OkButton));
        PlaceWindow();
    }

    void ShowProgramIcon() {
        const RECT r = Scale(ProgramIcon);
        HWND control = Place(IDC_ABOUT_ICON, r);
        // Loaded at the control's own size, so the system picks the best image and stretches it to fit.
        icon_.reset(static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                                  r.right - r.left, r.bottom - r.top, LR_DEFAULTCOLOR)));
        const HICON shown =
            icon_ ? icon_.get() : LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        SendMessageA(control, STM_SETICON, reinterpret_cast<WPARAM>(shown), 0);
    }

    void ShowLink() {
        RECT r = Scale(LinkArea);
        // As wide as its text, whatever font stands in, and centred where the layout puts it.
        SIZE ideal{0, 0};
        HWND link = GetDlgItem(hwnd_, IDC_ABOUT_LINK);
        // LM_GETIDEALSIZE, which fills in the size: mingw's headers know the message by its older name only.
        SendMessageA(link, LM_GETIDEALHEIGHT, Scale(ClientWidth), reinterpret_cast<LPARAM>(&ideal));
        if (ideal.cx > 0) {
            const int centre = (r.left + r.right) / 2;
            r.left = centre - ideal.cx / 2;
            r.right = r.left + ideal.cx;
            r.bottom = r.top + ideal.cy;
        }
        Place(IDC_ABOUT_LINK, r);

        // The hint shows the address the link opens. Owned by the dialog, so it goes with it.
        HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
        if (!tip) return;
        TOOLINFOA tool{};
        // The older structure size: comctl32 before version 6 refuses the newer one.
        tool.cbSize = ToolInfoOlderSize;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(link);
        tool.lpszText = const_cast<char*>(texts_.homePage.c_str());
        SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }

    // Exact client size, centred on the screen the owner is on.
    void PlaceWindow() {
        RECT window, client;
        GetWindowRect(hwnd_, &window);
        GetClientRect(hwnd_, &client);
        const int width = (window.right - window.left) - client.right + Scale(ClientWidth);
        const int height = (window.bottom - window.top) - client.bottom + Scale(ClientHeight);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromWindow(owner_ ? owner_ : hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT& screen = monitor.rcMonitor;
        const int left = screen.left + (screen.right - screen.left - width) / 2;
        const int top = screen.top + (screen.bottom - screen.top - height) / 2;
        SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void OpenHomePage() {
        // A failed navigation is silent.
        ShellExecuteA(hwnd_, "open", texts_.homePage.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    HINSTANCE instance_;
    const AboutBox::Texts& texts_;
    HWND owner_ = nullptr;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    UniqueIcon icon_; // the stock icon shown when this is empty is shared and has no owner
};

} // namespace

AboutBox::AboutBox(HINSTANCE instance, const std::string& appTitle)
    : instance_(instance), appTitle_(appTitle) {}

void AboutBox::FillTexts() const {
    if (filled_) return;
    filled_ = true;
    versionText_ = win32::ReadVersionInfo(ModuleFileName(instance_));
    texts_.caption = "About " + appTitle_;
    texts_.productName = appTitle_;
    texts_.version = "Version " + versionText_;
    texts_.copyright = AboutCopyright;
    texts_.comments = AboutComments;
    texts_.homePage = HomePageAddress;
}

const AboutBox::Texts& AboutBox::GetTexts() const {
    FillTexts();
    return texts_;
}

const std::string& AboutBox::VersionText() const {
    FillTexts();
    return versionText_;
}

INT_PTR AboutBox::ShowModal(HWND owner) {
    AboutDialog dialog(instance_, GetTexts());
    return dialog.Run(owner);
}

} // namespace tarnwick::win32
