#include "ui/win32/control_hints.h"

#include "common/win32/dpi.h"

#include <commctrl.h>

namespace tarnwick::win32 {

ControlHints::~ControlHints() {
    if (tooltip_ && IsWindow(tooltip_)) DestroyWindow(tooltip_);
}

RECT ControlHints::ToolRect(int id) const {
    RECT r{};
    HWND control = GetDlgItem(window_, id);
    if (!control || !GetWindowRect(control, &r)) return r;
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ControlHints::Create() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window_, GWLP_HINSTANCE));
    tooltip_ =
        CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0,
                        0, 0, 0, window_, nullptr, instance, nullptr);
    if (!tooltip_) return;
    SetWindowSubclass(tooltip_, TooltipProc, 1, reinterpret_cast<DWORD_PTR>(this));
    // Long hints wrap; a tool directory longer than that wraps too, whole.
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, MulDiv(360, WindowDpi(window_), 96));
    for (int id : ids_) {
        TOOLINFOA ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = window_;
        ti.uId = static_cast<UINT_PTR>(id);
        ti.rect = ToolRect(id);
        ti.lpszText = LPSTR_TEXTCALLBACKA;
        SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

void ControlHints::ControlsMoved() {
    if (!tooltip_) return;
    for (int id : ids_) {
        TOOLINFOA ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = window_;
        ti.uId = static_cast<UINT_PTR>(id);
        ti.rect = ToolRect(id);
        SendMessageA(tooltip_, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

void ControlHints::OnSetCursor(HWND under, UINT mouseMessage) {
    if (!window_ || (under != window_ && !IsChild(window_, under))) return;
    if (mouseMessage < WM_MOUSEFIRST || mouseMessage > WM_MOUSELAST) return;
    if (!tooltip_) Create();
    if (!tooltip_) return;
    // Relayed as if the parent had the message, where the tools are.
    const DWORD at = GetMessagePos();
    POINT pt{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    ScreenToClient(window_, &pt);
    MSG relayed{};
    relayed.hwnd = window_;
    relayed.message = mouseMessage;
    relayed.lParam = MAKELPARAM(pt.x, pt.y);
    relayed.time = GetMessageTime();
    relayed.pt = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    SendMessageA(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

LRESULT CALLBACK ControlHints::TooltipProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self) {
    if (msg == TTM_WINDOWFROMPOINT) {
        // The tooltip checks that the pointer is still over the tool's window before it shows and while
        // it stays; over a control that window is the parent, where the tools are.
        const auto* hints = reinterpret_cast<const ControlHints*>(self);
        HWND under = WindowFromPoint(*reinterpret_cast<const POINT*>(lParam));
        if (under && (under == hints->window_ || IsChild(hints->window_, under)))
            return reinterpret_cast<LRESULT>(hints->window_);
        return reinterpret_cast<LRESULT>(under);
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

} // namespace tarnwick::win32
