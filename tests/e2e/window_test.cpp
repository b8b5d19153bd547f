// The main window under the user's own mouse and keyboard: focus, Tab order, hints.
#include "driver.h"
#include "vmware_fixture.h"

#include <gtest/gtest.h>
#include <shellapi.h>

using namespace e2e;

namespace {

constexpr int kAbout = 1002, kList = 1003, kWinStart = 1006, kForget = 1007, kSave = 1008, kBkpAll = 1009,
              kSnapshot = 1010, kToolDir = 1012, kResumeOthers = 1013;

// The ids of the controls that the focus visits on count presses of Tab.
std::vector<int> TabRound(HWND main, int count) {
    std::vector<int> visited;
    for (int i = 0; i < count; ++i) {
        HWND before = FocusOf(main);
        PressKey(VK_TAB);
        // Every press moves the focus on; a dead keyboard leaves it where it was.
        WaitFor([&] { return FocusOf(main) != before; }, 3s);
        visited.push_back(GetDlgCtrlID(FocusOf(main)));
    }
    return visited;
}

std::string HintAfterRestingOn(const Process& p, HWND control) {
    PointAt(control);
    std::string hint;
    WaitFor([&] { return !(hint = ShownTooltip(p.Id())).empty(); }, 5s);
    return hint;
}

} // namespace

TEST(Window, KeyboardWorksAfterSaveAndForgetAndHintsShowOnDisabledControls) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    ASSERT_TRUE(BringToFront(main));
    HWND save = GetDlgItem(main, kSave), forget = GetDlgItem(main, kForget);
    // The focus starts where a dialog's would: on the first tab stop.
    EXPECT_TRUE(WaitFor([&] { return FocusOf(main) == GetDlgItem(main, kList); }, 5s));

    // The disabled Save button still has its hint; the tool directory's label shows the whole directory
    // in its hint, however much of it the label has room for.
    ASSERT_FALSE(IsWindowEnabled(save));
    EXPECT_EQ(HintAfterRestingOn(p, save), "What do you think it does?");
    EXPECT_EQ(HintAfterRestingOn(p, GetDlgItem(main, kToolDir)), vmware.InstallDir());
    EXPECT_EQ(WindowText(GetDlgItem(main, kToolDir)), vmware.InstallDir());

    // A change by mouse, then Save by mouse: the button acts, disables itself and leaves the focus on
    // the box, from where Tab goes round in order.
    ClickWithMouse(GetDlgItem(main, kBkpAll));
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(save) != FALSE; }, 5s));
    ClickWithMouse(save);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(save); }, 5s)) << "Save did not act";
    EXPECT_NE(ws.Config().find("BkpAll = -1"), std::string::npos) << ws.Config();
    EXPECT_EQ(FocusOf(main), GetDlgItem(main, kBkpAll));
    EXPECT_EQ(TabRound(main, 6),
              (std::vector<int>{kSnapshot, kList, kWinStart, kResumeOthers, kAbout, kBkpAll}));

    // The same with Forget: the change is undone, the focus stays, the keyboard works.
    PressKey(VK_SPACE); // flips the focused box
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(forget) != FALSE; }, 5s));
    ClickWithMouse(forget);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(forget); }, 5s)) << "Forget did not act";
    EXPECT_EQ(SendMessageA(GetDlgItem(main, kBkpAll), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(FocusOf(main), GetDlgItem(main, kBkpAll));
    EXPECT_EQ(TabRound(main, 6),
              (std::vector<int>{kSnapshot, kList, kWinStart, kResumeOthers, kAbout, kBkpAll}));

    // And by the accelerator: Alt+S saves without taking the focus either.
    PressKey(VK_SPACE);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(save) != FALSE; }, 5s));
    PressKey('S', true);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(save); }, 5s)) << "Alt+S did not save";
    EXPECT_NE(ws.Config().find("BkpAll = 0"), std::string::npos) << ws.Config();
    EXPECT_EQ(TabRound(main, 1), std::vector<int>{kSnapshot});
    EXPECT_TRUE(ExitThroughTray(p, main));
}

TEST(Window, FocusComesBackAfterTheAboutBoxAndAfterAnotherWindow) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    ASSERT_TRUE(BringToFront(main));
    ASSERT_TRUE(WaitFor([&] { return FocusOf(main) == GetDlgItem(main, kList); }, 5s));

    // To the About button by keyboard, and the box opened with Space.
    EXPECT_EQ(TabRound(main, 3), (std::vector<int>{kWinStart, kResumeOthers, kAbout}));
    PressKey(VK_SPACE);
    HWND about = WaitWindow(p.Id(), "#32770", "About Tarnwick");
    ASSERT_TRUE(about);
    ASSERT_TRUE(BringToFront(about));
    PressKey(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(about); }, 5s));
    EXPECT_TRUE(WaitFor([&] { return FocusOf(main) == GetDlgItem(main, kAbout); }, 5s))
        << "focus on " << GetDlgCtrlID(FocusOf(main));
    EXPECT_EQ(TabRound(main, 1), std::vector<int>{kBkpAll});

    // Another program's window takes the activation and gives it back: the box keeps the focus.
    Process other("notepad.exe");
    HWND notepad = WaitWindow(other.Id(), "Notepad");
    ASSERT_TRUE(notepad);
    ASSERT_TRUE(BringToFront(notepad));
    ASSERT_TRUE(BringToFront(main));
    EXPECT_TRUE(WaitFor([&] { return FocusOf(main) == GetDlgItem(main, kBkpAll); }, 5s))
        << "focus on " << GetDlgCtrlID(FocusOf(main));
    other.Kill();
    EXPECT_TRUE(ExitThroughTray(p, main));
}

// The tray icon as the shell of the current protocol reports it: the event in the low word, the icon's
// point in wParam. Enter on the selected icon and the menu key open the menu; a left click restores.
TEST(Window, TheTrayMenuOpensFromTheKeyboardAndALeftClickRestores) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    const WPARAM anchor = MAKEWPARAM(1000, 740);
    for (const UINT event : {UINT{NIN_KEYSELECT}, UINT{WM_CONTEXTMENU}, UINT{WM_LBUTTONDOWN}}) {
        PostMessageA(main, WM_CLOSE, 0, 0); // the close box hides the window
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 5s));
        PostMessageA(main, WM_USER + 1, anchor, MAKELPARAM(event, 100));
        if (event != WM_LBUTTONDOWN) {
            ASSERT_TRUE(WaitFor([&] { return !WindowsOf(p.Id(), "#32768").empty(); }, 5s)) << event;
            Sleep(600); // Wine shows the menu a moment before its loop takes keys
            PressKey('R');
        }
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 5s)) << event;
    }
    ASSERT_TRUE(ExitThroughTray(p, main));
}
