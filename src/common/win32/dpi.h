#pragma once
// The DPI a window is drawn at, and the frame around a client area at a DPI.
#include <windows.h>

#include "common/win32/module.h"

namespace tarnwick::win32 {

// Windows 10 1607 and later know each monitor's DPI; before that the system DPI is all there is, so
// the call is looked up at run time.
inline int WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        ProcAddress<GetDpiForWindowFn>(GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        if (const UINT dpi = getDpiForWindow(hwnd)) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The frame around rect's client area at dpi. AdjustWindowRectEx knows the system DPI only, so where
// the system has the per-DPI form (Windows 10 1607 and later) that one is used.
inline void AdjustFrameForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        ProcAddress<AdjustForDpiFn>(GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi");
    if (adjustForDpi && adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi))) return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

} // namespace tarnwick::win32
