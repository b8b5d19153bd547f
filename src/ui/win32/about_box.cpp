#include "ui/win32/about_box.h"

#include "common/win32/dpi.h"
#include "common/win32/handles.h"
#include "common/win32/module.h"
#include "ui/about_info.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/version_info.h"

#include <commctrl.h>
#include <shellapi.h>

namespace tarnwick::win32 {

namespace {

// Layout at 96 DPI, in pixels; scaled to the monitor's DPI when shown. The items on the panel are
// placed relative to it.
constexpr int ClientWidth = 298, ClientHeight = 213;
constexpr RECT Panel1 = {8, 8, 8 + 281, 8 + 161};
constexpr RECT ProgramIcon = {8, 8, 8 + 65, 8 + 57};
constexpr POINT ProductNamePos = {88, 16}, VersionPos = {88, 40}, CopyrightPos = {8, 80},
                CommentsPos = {8, 104};
constexpr RECT Label1 = {104, 122, 104 + 44, 122 + 13};
constexpr RECT OKButton = {111, 180, 111 + 75, 180 + 25};
constexpr int FontPoints = 8;
constexpr const char* FontFace = "MS Sans Serif";

class UniqueFont {
  public:
    explicit UniqueFont(HFONT font = nullptr) : font_(font) {}
    UniqueFont(const UniqueFont&) = delete;
    UniqueFont& operator=(const UniqueFont&) = delete;
    ~UniqueFont() { reset(); }
    HFONT get() const { return font_; }
    void reset(HFONT font = nullptr) {
        if (font_) DeleteObject(font_);
        font_ = font;
    }

  private:
    HFONT font_;
};

// An icon from LoadImage is ours to destroy; the stock icon we fall back to is shared and is not.
class ProgramIconHandle {
  public:
    ProgramIconHandle() = default;
    ProgramIconHandle(const ProgramIconHandle&) = delete;
    ProgramIconHandle& operator=(const ProgramIconHandle&) = delete;
    ~ProgramIconHandle() { reset(); }
    void Load(HINSTANCE instance, int width, int height) {
        reset();
        // Loaded at the box's own size, so the system picks the best image and stretches it to fit.
        icon_ = static_cast<HICON>(
            LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
        owned_ = icon_ != nullptr;
        if (!icon_) icon_ = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    }
    HICON get() const { return icon_; }

  private:
    void reset() {
        if (owned_ && icon_) DestroyIcon(icon_);
        icon_ = nullptr;
        owned_ = false;
    }
    HICON icon_ = nullptr;
    bool owned_ = false;
};

class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { BeginPaint(hwnd_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { EndPaint(hwnd_, &ps_); }
    HDC dc() const { return ps_.hdc; }

  private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
};

// One showing of the box: the window and what it draws with live as long as this object.
class AboutDialog {
  public:
    AboutDialog(HINSTANCE instance, const TfrmAbout::Texts& texts) : instance_(instance), texts_(texts) {}

    INT_PTR Run(HWND owner) {
        owner_ = owner;
        // An in-memory template with no controls: the controls are made in pixels at WM_INITDIALOG,
        // which a template's dialog units could not express exactly.
        struct alignas(4) Template {
            DLGTEMPLATE dialog;
            WORD menu, windowClass, title;
        } tmpl{};
        tmpl.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        return DialogBoxIndirectParamA(instance_, &tmpl.dialog, owner, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_INITDIALOG) {
            SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
            auto* self = reinterpret_cast<AboutDialog*>(lParam);
            self->hwnd_ = hwnd;
            return self->OnInitDialog();
        }
        auto* self = reinterpret_cast<AboutDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
        if (!self) return FALSE;
        switch (msg) {
        case WM_COMMAND:
            return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
        case WM_PAINT:
            self->OnPaint();
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(
                self->OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_SETCURSOR:
            if (!self->OnSetCursor(reinterpret_cast<HWND>(wParam))) return FALSE;
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default:
            return FALSE;
        }
    }

    int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    RECT Scale(const RECT& r) const { return {Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom)}; }
    // Panel items are given relative to the panel.
    RECT OnPanel(const RECT& r) const {
        return Scale(
            RECT{Panel1.left + r.left, Panel1.top + r.top, Panel1.left + r.right, Panel1.top + r.bottom});
    }

    SIZE TextExtent(const std::string& text, HFONT font) const {
        const WindowDc dc(hwnd_);
        SIZE size{0, 0};
        const HGDIOBJ old = SelectObject(dc.get(), font);
        GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
        TEXTMETRICA tm{};
        GetTextMetricsA(dc.get(), &tm);
        SelectObject(dc.get(), old);
        size.cy = tm.tmHeight;
        return size;
    }

    HWND AddControl(const char* windowClass, const std::string& text, DWORD style, int id, const RECT& r,
                    HFONT font) {
        HWND control = CreateWindowExA(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left,
                                       r.top, r.right - r.left, r.bottom - r.top, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    }

    // A label sized to its text, like an auto-sized label.
    void AddLabel(int id, const std::string& text, POINT onPanel) {
        const SIZE size = TextExtent(text, font_.get());
        const RECT pos = OnPanel({onPanel.x, onPanel.y, onPanel.x, onPanel.y});
        AddControl("STATIC", text, SS_LEFT | SS_NOPREFIX, id,
                   {pos.left, pos.top, pos.left + size.cx, pos.top + size.cy}, font_.get());
    }

    static HFONT MakeFont(int dpi, bool underline) {
        return CreateFontA(-MulDiv(FontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, FontFace);
    }

    BOOL OnInitDialog() {
        dpi_ = WindowDpi(hwnd_);
        font_.reset(MakeFont(dpi_, false));
        linkFont_.reset(MakeFont(dpi_, true));
        const RECT icon = OnPanel(ProgramIcon);
        icon_.Load(instance_, icon.right - icon.left, icon.bottom - icon.top);

        SetWindowTextA(hwnd_, texts_.caption.c_str());
        AddLabel(IDC_ABOUT_PRODUCTNAME, texts_.productName, ProductNamePos);
        AddLabel(IDC_ABOUT_VERSION, texts_.version, VersionPos);
        AddLabel(IDC_ABOUT_COPYRIGHT, texts_.copyright, CopyrightPos);
        AddLabel(IDC_ABOUT_COMMENTS, texts_.comments, CommentsPos);
        AddLink();
        HWND ok =
            AddControl("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, Scale(OKButton), font_.get());

        PlaceWindow();
        SetFocus(ok);
        return FALSE; // focus is set
    }

    void AddLink() {
        static const char* const text = "Web Site";
        RECT r = OnPanel(Label1);
        // A substitute font may be wider than the one the layout was drawn with: widen the label about its
        // centre rather than let the words wrap out of sight.
        const int textWidth = TextExtent(text, linkFont_.get()).cx;
        if (textWidth > r.right - r.left) {
            const int grow = textWidth - (r.right - r.left);
            r.left -= grow / 2;
            r.right += grow - grow / 2;
        }
        link_ = AddControl("STATIC", text, SS_CENTER | SS_NOPREFIX | SS_NOTIFY, IDC_ABOUT_LINK, r,
                           linkFont_.get());

        // The hint shows the address the link opens.
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        // Owned by the dialog, so it goes with it.
        HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
        if (!tip) return;
        TOOLINFOA tool{};
        // The older structure size: comctl32 before version 6 refuses the newer one.
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(link_);
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

    BOOL OnCommand(int id, int code) {
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(hwnd_, id);
            return TRUE;
        }
        if (id == IDC_ABOUT_LINK && code == STN_CLICKED) {
            Label1Click();
            return TRUE;
        }
        return FALSE;
    }

    void OnPaint() {
        const PaintScope paint(hwnd_);
        RECT panel = Scale(Panel1);
        // Lowered outer and raised inner bevel: the etched edge.
        DrawEdge(paint.dc(), &panel, EDGE_ETCHED, BF_RECT);
        const RECT icon = OnPanel(ProgramIcon);
        if (icon_.get())
            DrawIconEx(paint.dc(), icon.left, icon.top, icon_.get(), icon.right - icon.left,
                       icon.bottom - icon.top, 0, nullptr, DI_NORMAL);
    }

    HBRUSH OnCtlColorStatic(HDC dc, HWND control) {
        if (control != link_) return nullptr;
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return GetSysColorBrush(COLOR_BTNFACE);
    }

    bool OnSetCursor(HWND control) {
        if (control != link_) return false;
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
        return true;
    }

    void Label1Click() {
        // A failed navigation is silent.
        ShellExecuteA(hwnd_, "open", texts_.homePage.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    HINSTANCE instance_;
    const TfrmAbout::Texts& texts_;
    HWND owner_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND link_ = nullptr;
    int dpi_ = 96;
    UniqueFont font_, linkFont_;
    ProgramIconHandle icon_;
};

} // namespace

TfrmAbout::TfrmAbout(HINSTANCE instance, const std::string& appTitle) : instance_(instance) {
    FormCreate(appTitle);
}

void TfrmAbout::FormCreate(const std::string& appTitle) {
    ReadVersionInfo();
    texts_.caption = "About " + appTitle;
    texts_.productName = appTitle;
    texts_.version = "Version " + versionText_;
    texts_.copyright = AboutCopyright;
    texts_.comments = AboutComments;
    texts_.homePage = HomePageAddress;
}

void TfrmAbout::ReadVersionInfo() {
    versionText_ = win32::ReadVersionInfo(ModuleFileName(instance_));
}

INT_PTR TfrmAbout::ShowModal(HWND owner) {
    AboutDialog dialog(instance_, texts_);
    return dialog.Run(owner);
}

} // namespace tarnwick::win32
