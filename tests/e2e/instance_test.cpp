// A second copy refuses to run and names the first; the About box.
#include "driver.h"
#include "vmware_fixture.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

// "\\" + domain + "\" + user, as the account of this very process is called.
std::string OwnAccount() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    char buf[512];
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, buf, sizeof buf, &size);
    CloseHandle(token);
    char user[256], domain[256];
    DWORD u = sizeof user, d = sizeof domain;
    SID_NAME_USE use;
    LookupAccountSidA(nullptr, reinterpret_cast<TOKEN_USER*>(buf)->User.Sid, user, &u, domain, &d, &use);
    return std::string("\\\\") + domain + "\\" + user;
}

std::string Refusal(const std::string& path) {
    return "Tarnwick will not be launched.\r\rAnother instance of " + path +
           "\ris already running under user " + OwnAccount() + ".";
}

std::vector<HWND> BoxesOf(const Process& p) {
    std::vector<HWND> boxes;
    for (HWND h : WindowsOf(p.Id(), "#32770"))
        if (WindowText(h) == "Tarnwick") boxes.push_back(h);
    return boxes;
}

} // namespace

TEST(SingleInstance, SecondCopyNamesTheFirstAndEnds) {
    Workspace first, second;
    VmwareInstall vmware(first.Dir());
    Process a("\"" + first.Exe() + "\"");
    ASSERT_TRUE(WaitWindow(a.Id(), "TfrmMain"));
    Process b("\"" + second.Exe() + "\"", false);
    HWND box = WaitWindow(b.Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), Refusal(first.Exe()));
    ClickButton(box, "OK");
    EXPECT_TRUE(b.WaitExit().has_value());
    EXPECT_TRUE(a.Running());
    const auto lines = LogMessages(second.Log());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Tarnwick Terminated.");

    // Help and backup runs work beside a running copy.
    Process help("\"" + second.Exe() + "\" /?", false);
    HWND helpBox = WaitWindow(help.Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(helpBox);
    EXPECT_EQ(MessageBoxText(helpBox).rfind("Command Line Options:", 0), 0u);
    ClickButton(helpBox, "OK");
    EXPECT_TRUE(help.WaitExit().has_value());
    CreateDirectoryA((second.Dir() + "bkp").c_str(), nullptr);
    Process backup("\"" + second.Exe() + "\" /BKP \"" + second.Dir() + "bkp\"", false);
    const auto code = backup.WaitExit(30s);
    ASSERT_TRUE(code.has_value()) << "the backup run stopped at a box";
    EXPECT_EQ(*code, 0u);

    // A copy under another file name is another program.
    CopyFileA(second.Exe().c_str(), (second.Dir() + "Renamed.exe").c_str(), FALSE);
    Process renamed("\"" + second.Dir() + "Renamed.exe\"");
    EXPECT_TRUE(WaitWindow(renamed.Id(), "TfrmMain"));
    EXPECT_TRUE(BoxesOf(renamed).empty());
}

TEST(SingleInstance, TwoRunningCopiesGiveTwoMessages) {
    Workspace one, two, three;
    RemoveVmwareKeys();
    // Two copies held at their start-up error, before they look for each other.
    Process a("\"" + one.Exe() + "\"", false);
    Process b("\"" + two.Exe() + "\"", false);
    ASSERT_TRUE(WaitWindow(a.Id(), "#32770", "Tarnwick"));
    ASSERT_TRUE(WaitWindow(b.Id(), "#32770", "Tarnwick"));
    Process c("\"" + three.Exe() + "\" /SKIP_VMWARE_CHECK", false);
    std::vector<std::string> seen;
    for (int i = 0; i < 2; ++i) {
        HWND box = WaitWindow(c.Id(), "#32770", "Tarnwick");
        ASSERT_TRUE(box) << "message " << i + 1;
        seen.push_back(MessageBoxText(box));
        ClickButton(box, "OK");
        WaitFor([&] { return !IsWindow(box); }, 5s);
    }
    std::sort(seen.begin(), seen.end());
    std::vector<std::string> want = {Refusal(one.Exe()), Refusal(two.Exe())};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(seen, want);
    EXPECT_TRUE(c.WaitExit().has_value());
}

TEST(About, ShowsNameAndVersionAndEnterClosesIt) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    ClickControl(main, 1002);
    HWND about = WaitWindow(p.Id(), "#32770", "About Tarnwick");
    ASSERT_TRUE(about) << "no About box";
    bool version = false, name = false;
    for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const std::string t = WindowText(c);
        version = version || t == "Version 2.1.0.11";
        name = name || t == "Tarnwick";
        for (HWND g = GetWindow(c, GW_CHILD); g; g = GetWindow(g, GW_HWNDNEXT)) {
            const std::string u = WindowText(g);
            version = version || u == "Version 2.1.0.11";
            name = name || u == "Tarnwick";
        }
    }
    EXPECT_TRUE(version);
    EXPECT_TRUE(name);
    SetForegroundWindow(about);
    Sleep(200);
    keybd_event(VK_RETURN, 0, 0, 0);
    keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about) || !IsWindowVisible(about); }, 5s))
        << "Enter did not close it";
    EXPECT_TRUE(ExitThroughTray(p, main));
}

TEST(About, ATrayPressUnderItOpensNoMenuAndBringsItToTheFront) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    ClickControl(main, 1002);
    HWND about = WaitWindow(p.Id(), "#32770", "About Tarnwick");
    ASSERT_TRUE(about) << "no About box";
    // Another window in front, as when the user has gone on working elsewhere.
    HWND other = CreateWindowExA(0, "STATIC", "elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200, 300,
                                 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(other);
    SetForegroundWindow(other);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == other; }, 5s));

    for (const LPARAM press : {WM_RBUTTONDOWN, WM_LBUTTONDOWN}) {
        SetForegroundWindow(other);
        PostMessageA(main, WM_USER + 1, 100, press);
        EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == about; }, 5s)) << press;
        Sleep(300);
        EXPECT_TRUE(WindowsOf(p.Id(), "#32768").empty()) << "a menu opened under the About box";
    }
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about) || !IsWindowVisible(about); }, 5s))
        << "Esc did not close it";
    DestroyWindow(other);
    EXPECT_TRUE(ExitThroughTray(p, main));
}
