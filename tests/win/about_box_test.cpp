#include "ui/win32/about_box.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

using tarnwick::win32::AboutBox;

namespace {

struct Control {
    std::string windowClass;
    RECT rect; // in the dialog's client coordinates
    LONG style;
};

struct SeenDialog {
    bool found = false;
    std::string caption;
    RECT window{}, client{};
    std::map<std::string, Control> controls; // by text
};

BOOL CALLBACK CollectChild(HWND child, LPARAM lParam) {
    auto* seen = reinterpret_cast<SeenDialog*>(lParam);
    char text[256] = "", windowClass[64] = "";
    GetWindowTextA(child, text, sizeof text);
    GetClassNameA(child, windowClass, sizeof windowClass);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    seen->controls[text] = {windowClass, r, static_cast<LONG>(GetWindowLongPtrA(child, GWL_STYLE))};
    return TRUE;
}

// Shows the box, looks at it from another thread once it is up, then presses key in it.
INT_PTR ShowAndPress(AboutBox& about, WPARAM key, SeenDialog& seen) {
    std::atomic<bool> closed{false};
    std::thread watcher([&] {
        for (int i = 0; i < 200 && !closed; ++i, Sleep(50)) {
            HWND dialog = FindWindowA(nullptr, "About Tarnwick");
            DWORD pid = 0;
            if (!dialog || !IsWindowVisible(dialog) ||
                (GetWindowThreadProcessId(dialog, &pid), pid) != GetCurrentProcessId())
                continue;
            seen.found = true;
            char caption[64] = "";
            GetWindowTextA(dialog, caption, sizeof caption);
            seen.caption = caption;
            GetWindowRect(dialog, &seen.window);
            GetClientRect(dialog, &seen.client);
            EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&seen));
            // As a keyboard would: the key goes to the control with the focus, the OK button.
            PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, key, 1);
            PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYUP, key, 0xC0000001);
            return;
        }
    });
    const INT_PTR result = about.ShowModal(nullptr);
    closed = true;
    watcher.join();
    return result;
}

int ScreenDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
}

} // namespace

TEST(AboutBoxWin, TextsAreFilledOnceAtCreation) {
    AboutBox about(GetModuleHandleA(nullptr), "Tarnwick");
    const AboutBox::Texts& t = about.GetTexts();
    EXPECT_EQ(t.caption, "About Tarnwick");
    EXPECT_EQ(t.productName, "Tarnwick");
    EXPECT_EQ(t.version, "Version 0.0.0.0"); // this binary has no version resource
    EXPECT_EQ(about.VersionText(), "0.0.0.0");
    EXPECT_EQ(t.copyright, "Copyright (C) 2026 the Tarnwick developers");
    EXPECT_EQ(t.homePage.rfind("https://", 0), 0u);
}

TEST(AboutBoxWin, LayoutAndEnterClosesWithOk) {
    AboutBox about(GetModuleHandleA(nullptr), "Tarnwick");
    SeenDialog seen;
    const INT_PTR result = ShowAndPress(about, VK_RETURN, seen);
    if (result == -1 && !seen.found) GTEST_SKIP() << "no display to show a dialog on";
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen.caption, "About Tarnwick");

    const int dpi = ScreenDpi();
    auto px = [dpi](int v) { return MulDiv(v, dpi, 96); };
    EXPECT_EQ(seen.client.right, px(298));
    EXPECT_EQ(seen.client.bottom, px(213));
    // Centred on the primary screen.
    const int width = seen.window.right - seen.window.left, height = seen.window.bottom - seen.window.top;
    EXPECT_NEAR(seen.window.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, 1);
    EXPECT_NEAR(seen.window.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 1);

    struct Expected {
        const char* text;
        int left, top;
    };
    const Expected labels[] = {{"Tarnwick", 96, 24},
                               {"Version 0.0.0.0", 96, 48},
                               {"Copyright (C) 2026 the Tarnwick developers", 16, 88},
                               {about.GetTexts().comments.c_str(), 16, 112}};
    for (const Expected& e : labels) {
        ASSERT_TRUE(seen.controls.count(e.text)) << e.text;
        const Control& c = seen.controls[e.text];
        EXPECT_EQ(c.windowClass, "Static") << e.text;
        EXPECT_EQ(c.rect.left, px(e.left)) << e.text;
        EXPECT_EQ(c.rect.top, px(e.top)) << e.text;
        // Every text fits inside the panel's bevel.
        EXPECT_LE(c.rect.right, px(8 + 281 - 4)) << e.text;
        EXPECT_GT(c.rect.bottom, c.rect.top) << e.text;
    }

    ASSERT_TRUE(seen.controls.count("<a>Web Site</a>"));
    const Control& link = seen.controls["<a>Web Site</a>"];
    EXPECT_EQ(link.windowClass, "SysLink"); // clicks reach the dialog as notifications
    EXPECT_NEAR((link.rect.left + link.rect.right) / 2, px(8 + 104 + 22), 1);
    EXPECT_EQ(link.rect.top, px(8 + 122));

    ASSERT_TRUE(seen.controls.count("OK"));
    const Control& ok = seen.controls["OK"];
    EXPECT_EQ(ok.windowClass, "Button");
    EXPECT_EQ(ok.style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(ok.rect.left, px(111));
    EXPECT_EQ(ok.rect.top, px(180));
    EXPECT_EQ(ok.rect.right - ok.rect.left, px(75));
    EXPECT_EQ(ok.rect.bottom - ok.rect.top, px(25));
}

TEST(AboutBoxWin, EscapeClosesWithCancelAndTheBoxShowsAgain) {
    AboutBox about(GetModuleHandleA(nullptr), "Tarnwick");
    SeenDialog first, second;
    const INT_PTR result = ShowAndPress(about, VK_ESCAPE, first);
    if (result == -1 && !first.found) GTEST_SKIP() << "no display to show a dialog on";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(ShowAndPress(about, VK_RETURN, second), IDOK);
    EXPECT_EQ(second.controls.size(), first.controls.size());
}
