// Finding VMware at start-up: each outcome as the user sees it (label, caption, boxes) and the log.
#include "driver.h"
#include "vmware_fixture.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

constexpr const char* kNoVmware = "ERROR: No supported versions of VMWare (Workstation 5-6 or Server 1) "
                                  "appear to be installed on this machine.";

HWND Child(HWND main, int id) {
    return GetDlgItem(main, id);
}

constexpr int kToolDirLabel = 1012;
constexpr int kSnapshotBox = 1010;

struct Started {
    Workspace ws;
    std::unique_ptr<VmwareInstall> vmware;
    std::unique_ptr<Process> p;
    HWND main = nullptr;

    explicit Started(const InstallOptions& o, const std::string& args = "") {
        vmware = std::make_unique<VmwareInstall>(ws.Dir(), o);
        p = std::make_unique<Process>("\"" + ws.Exe() + "\"" + args);
    }
    HWND Main() {
        if (!main) main = WaitWindow(p->Id(), "TfrmMain");
        return main;
    }
    std::string Label() { return WindowText(Child(Main(), kToolDirLabel)); }
    void End() {
        ASSERT_TRUE(Main());
        ASSERT_TRUE(ExitThroughTray(*p, main));
    }
};

} // namespace

TEST(Discovery, WorkstationUsesVmrunInItsInstallFolder) {
    InstallOptions o;
    o.product = Product::Workstation;
    Started s(o);
    ASSERT_TRUE(s.Main());
    EXPECT_EQ(s.Label(), s.vmware->InstallDir());
    EXPECT_TRUE(IsWindowEnabled(Child(s.main, kSnapshotBox)));
    EXPECT_EQ(WindowText(s.main), "Tarnwick");
    s.End();
    const auto lines = LogMessages(s.ws.Log());
    ASSERT_EQ(lines.size(), 3u) << s.ws.Log();
    EXPECT_EQ(lines[0].rfind("Started; Command line: ", 0), 0u);
}

TEST(Discovery, TheSixtyFourBitViewIsFoundToo) {
    InstallOptions o;
    o.view = KEY_WOW64_64KEY;
    Started s(o);
    ASSERT_TRUE(s.Main());
    EXPECT_EQ(s.Label(), s.vmware->InstallDir());
    s.End();
}

TEST(Discovery, ServerWithVixUsesVixVmrunThroughTheLiteralDotDot) {
    InstallOptions o;
    o.product = Product::ServerVix;
    Started s(o);
    ASSERT_TRUE(s.Main());
    EXPECT_EQ(s.Label(), s.vmware->InstallDir() + "..\\VMware VIX\\");
    EXPECT_TRUE(IsWindowEnabled(Child(s.main, kSnapshotBox)));
    s.End();
}

TEST(Discovery, ServerWithoutVixUsesVmwareCmdAndCannotSnapshot) {
    InstallOptions o;
    o.product = Product::Server;
    Started s(o);
    ASSERT_TRUE(s.Main());
    EXPECT_EQ(s.Label(), s.vmware->InstallDir());
    EXPECT_FALSE(IsWindowEnabled(Child(s.main, kSnapshotBox)));
    EXPECT_NE(SendMessageA(Child(s.main, kSnapshotBox), BM_GETCHECK, 0, 0), BST_CHECKED);
    // The disabled box says why when the pointer rests on it.
    ASSERT_TRUE(BringToFront(s.main));
    PointAt(Child(s.main, kSnapshotBox));
    std::string hint;
    EXPECT_TRUE(WaitFor([&] { return !(hint = ShownTooltip(s.p->Id())).empty(); }, 5s));
    EXPECT_EQ(hint, "Snapshots need vmrun; this VMware Server has no VIX, so backups suspend the VMs.");
    s.End();
}

TEST(Discovery, NothingInstalledSaysSoAndEnds) {
    InstallOptions o;
    o.product = Product::None;
    Started s(o);
    HWND box = WaitWindow(s.p->Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), kNoVmware);
    ClickButton(box, "OK");
    ASSERT_TRUE(s.p->WaitExit().has_value());
    const auto lines = LogMessages(s.ws.Log());
    ASSERT_EQ(lines.size(), 2u) << s.ws.Log();
    EXPECT_EQ(lines[1], "Tarnwick Terminated.");
}

TEST(Discovery, MissingVmwareExeIsReportedAndTheProductPassedOver) {
    InstallOptions o;
    o.withVmwareExe = false;
    Started s(o);
    HWND box = WaitWindow(s.p->Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), kNoVmware);
    const std::string status = "ERROR: " + s.vmware->InstallDir() + "vmware.exe not found.";
    HWND main = WindowsOf(s.p->Id(), "TfrmMain", false).at(0);
    EXPECT_EQ(WindowText(main), "Tarnwick - " + status);
    ClickButton(box, "OK");
    ASSERT_TRUE(s.p->WaitExit().has_value());
    const auto lines = LogMessages(s.ws.Log());
    ASSERT_GE(lines.size(), 2u) << s.ws.Log();
    EXPECT_EQ(lines[0], status);
    EXPECT_EQ(lines[1].rfind("Started; Command line: ", 0), 0u);
}

TEST(Discovery, MissingToolIsFatal) {
    InstallOptions o;
    o.withTool = false;
    Started s(o, " /SKIP_VMWARE_CHECK");
    HWND box = WaitWindow(s.p->Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    const std::string text = "ERROR: " + s.vmware->InstallDir() + "vmrun.exe not found. Terminating.";
    EXPECT_EQ(MessageBoxText(box), text);
    ClickButton(box, "OK");
    ASSERT_TRUE(s.p->WaitExit().has_value()) << "the end request was lost";
    const auto lines = LogMessages(s.ws.Log());
    ASSERT_GE(lines.size(), 3u) << s.ws.Log();
    EXPECT_EQ(lines[0], text);
    EXPECT_EQ(lines[1].rfind("Started; Command line: ", 0), 0u);
    EXPECT_EQ(lines.back(), "Tarnwick Terminated.");
}

TEST(Discovery, InstallPathWithoutTrailingBackslashFindsNothing) {
    InstallOptions o;
    o.trailingBackslash = false;
    Started s(o, " /SKIP_VMWARE_CHECK");
    ASSERT_TRUE(s.Main());
    EXPECT_EQ(s.Label(), "(DEBUGGING: VMWare Check Skipped)");
    std::string dir = s.vmware->InstallDir();
    dir.pop_back();
    const auto lines = LogMessages(s.ws.Log());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "ERROR: " + dir + "vmware.exe not found.");
    s.End();
}

TEST(Discovery, InstallPathOfAnotherTypeStopsTheStartUpWithTheError) {
    InstallOptions o;
    o.dwordInstallPath = true;
    Started s(o, " /SKIP_VMWARE_CHECK");
    HWND box = WaitWindow(s.p->Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), "Invalid data type for 'InstallPath'");
    ClickButton(box, "OK");
    // The rest of the start-up is skipped, and the program goes on without it.
    ASSERT_TRUE(s.Main());
    EXPECT_TRUE(s.p->Running());
    EXPECT_EQ(s.ws.Log(), "");
    s.p->Kill();
}
