#include "hypervisor/discovery.h"

#include "app/startup.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::fakes;
using Lines = std::vector<std::string>;

namespace {

const char* const kWsKey = "SOFTWARE\\VMware, Inc.\\VMware Workstation";
const char* const kServerKey = "SOFTWARE\\VMware, Inc.\\VMware Server";

using WrongType = FakeRegistry::WrongType;

// Start-up's search over the real discovery: what it settles and what it tells the user.
class DiscoveryTest : public ::testing::Test {
  protected:
    DiscoveryTest() { host.discovery = &discovery; }
    std::string FindVmware() {
        choice = startup.FindVmware();
        return choice.tools.toolDir;
    }
    void Install(const std::string& dir, std::initializer_list<const char*> names) {
        for (const char* name : names)
            files.files[dir + name] = "";
    }

    Startup::VmwareChoice choice;
    MemoryFiles files;
    FakeRegistry registry;
    Discovery discovery{files, registry};
    RecordingStartupHost host;
    Startup startup{host, host, host, "p"};
};

TEST_F(DiscoveryTest, Outcomes) {
    const std::string ws = "C:\\VMware\\WS\\";
    const std::string srv = "C:\\VMware\\Server\\";
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::string>> keys; // 32-bit view
        std::vector<std::string> existing;
        std::string toolDir;
        bool useVmrun;
        std::string toolPath;
        Lines statuses;
        Lines messages;
        size_t quits;
        size_t snapshotDisabled;
    };
    const Case cases[] = {
        {"workstation",
         {{kWsKey, ws}},
         {ws + "vmware.exe", ws + "vmrun.exe"},
         ws,
         true,
         ws + "vmrun.exe",
         {},
         {},
         0,
         0},
        {"server with VIX",
         {{kServerKey, srv}},
         {srv + "vmware.exe", srv + "..\\VMware VIX\\vmrun.exe"},
         srv + "..\\VMware VIX\\",
         true,
         srv + "..\\VMware VIX\\vmrun.exe",
         {},
         {},
         0,
         0},
        {"server without VIX",
         {{kServerKey, srv}},
         {srv + "vmware.exe", srv + "vmware-cmd.bat"},
         srv,
         false,
         srv + "vmware-cmd.bat",
         {},
         {},
         0,
         1},
        {"neither", {}, {}, "", false, "", {}, {}, 0, 0},
        {"empty install path", {{kWsKey, ""}}, {"vmware.exe", "vmrun.exe"}, "", false, "", {}, {}, 0, 0},
        {"workstation without vmware.exe, server usable",
         {{kWsKey, ws}, {kServerKey, srv}},
         {ws + "vmrun.exe", srv + "vmware.exe", srv + "vmware-cmd.bat"},
         srv,
         false,
         srv + "vmware-cmd.bat",
         {"ERROR: C:\\VMware\\WS\\vmware.exe not found."},
         {},
         0,
         1},
        {"install path without trailing backslash",
         {{kWsKey, "C:\\VMware\\WS"}},
         {ws + "vmware.exe", ws + "vmrun.exe"},
         "",
         false,
         "",
         {"ERROR: C:\\VMware\\WSvmware.exe not found."},
         {},
         0,
         0},
        {"workstation tool missing, server probed after the end request",
         {{kWsKey, ws}, {kServerKey, srv}},
         {ws + "vmware.exe", srv + "vmware.exe", srv + "..\\VMware VIX\\vmrun.exe"},
         srv + "..\\VMware VIX\\",
         true,
         srv + "..\\VMware VIX\\vmrun.exe",
         {"ERROR: C:\\VMware\\WS\\vmrun.exe not found. Terminating."},
         {"ERROR: C:\\VMware\\WS\\vmrun.exe not found. Terminating."},
         1,
         0},
        // The failed probe leaves its choice behind when nothing else is found.
        {"workstation tool missing, no server",
         {{kWsKey, ws}},
         {ws + "vmware.exe"},
         "",
         true,
         ws + "vmrun.exe",
         {"ERROR: C:\\VMware\\WS\\vmrun.exe not found. Terminating."},
         {"ERROR: C:\\VMware\\WS\\vmrun.exe not found. Terminating."},
         1,
         0},
        {"server tool missing",
         {{kServerKey, srv}},
         {srv + "vmware.exe"},
         "",
         false,
         srv + "vmware-cmd.bat",
         {"ERROR: C:\\VMware\\Server\\vmware-cmd.bat not found. Terminating."},
         {"ERROR: C:\\VMware\\Server\\vmware-cmd.bat not found. Terminating."},
         1,
         1},
        // Only the product named exactly "Server" looks for VIX.
        {"workstation ignores VIX",
         {{kWsKey, ws}},
         {ws + "vmware.exe", ws + "..\\VMware VIX\\vmrun.exe"},
         "",
         true,
         ws + "vmrun.exe",
         {"ERROR: C:\\VMware\\WS\\vmrun.exe not found. Terminating."},
         {"ERROR: C:\\VMware\\WS\\vmrun.exe not found. Terminating."},
         1,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choice = Startup::VmwareChoice{};
        host.trace.clear();
        files = MemoryFiles{};
        registry = FakeRegistry{};
        for (const auto& [key, path] : c.keys)
            registry.Set(RegistryView::Bits32, key, path);
        for (const std::string& path : c.existing)
            files.files[path] = "";

        EXPECT_EQ(FindVmware(), c.toolDir);
        EXPECT_EQ(choice.found, !c.toolDir.empty());
        EXPECT_EQ(choice.tools.useVmrun, c.useVmrun);
        EXPECT_EQ(choice.tools.toolPath, c.toolPath);
        EXPECT_EQ(host.Lines("status:"), c.statuses);
        EXPECT_EQ(host.Lines("box:"), c.messages);
        EXPECT_EQ(host.Count("quit"), c.quits);
        EXPECT_EQ(host.Count("no-snapshot"), c.snapshotDisabled);
    }
}

TEST_F(DiscoveryTest, WorkstationWinsAndServerIsNeverRead) {
    const std::string ws = "C:\\WS\\";
    registry.Set(RegistryView::Bits64, kWsKey, ws);
    registry.Set(RegistryView::Bits32, kServerKey, "C:\\S\\");
    Install(ws, {"vmware.exe", "vmrun.exe"});
    Install("C:\\S\\", {"vmware.exe", "vmware-cmd.bat"});
    EXPECT_EQ(FindVmware(), ws);
    EXPECT_EQ(choice.tools.toolPath, "C:\\WS\\vmrun.exe");
    // The 32-bit view first, then the 64-bit one; the Server key is not touched.
    const std::vector<std::pair<RegistryView, std::string>> expected{{RegistryView::Bits32, kWsKey},
                                                                     {RegistryView::Bits64, kWsKey}};
    EXPECT_EQ(registry.reads, expected);
}

TEST_F(DiscoveryTest, ThirtyTwoBitViewIsPreferred) {
    registry.Set(RegistryView::Bits32, kWsKey, "C:\\W32\\");
    registry.Set(RegistryView::Bits64, kWsKey, "C:\\W64\\");
    Install("C:\\W32\\", {"vmware.exe", "vmrun.exe"});
    Install("C:\\W64\\", {"vmware.exe", "vmrun.exe"});
    EXPECT_EQ(discovery.Probe("Workstation").tools.toolDir, "C:\\W32\\");
    // An empty value in the 32-bit view does not hide a good one in the 64-bit view.
    registry.Set(RegistryView::Bits32, kWsKey, "");
    EXPECT_EQ(discovery.Probe("Workstation").tools.toolDir, "C:\\W64\\");
}

TEST_F(DiscoveryTest, InstallPathOfTheWrongTypeEscapes) {
    registry.Set(RegistryView::Bits32, kWsKey, WrongType{});
    registry.Set(RegistryView::Bits32, kServerKey, "C:\\S\\");
    Install("C:\\S\\", {"vmware.exe", "vmware-cmd.bat"});
    try {
        FindVmware();
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'InstallPath'");
    }
    EXPECT_TRUE(host.Logged().empty());
    EXPECT_EQ(host.Count("quit"), 0u);
}

TEST_F(DiscoveryTest, WhatAFailedProductToldAndAskedForStandsWhenTheNextOneThrows) {
    Install("C:\\WS\\", {"vmware.exe"});
    registry.Set(RegistryView::Bits32, kWsKey, "C:\\WS\\");
    registry.Set(RegistryView::Bits32, kServerKey, WrongType{});
    EXPECT_THROW(FindVmware(), RegistryDataError);
    EXPECT_EQ(host.Lines("box:"), Lines{"ERROR: C:\\WS\\vmrun.exe not found. Terminating."});
    EXPECT_EQ(host.Count("quit"), 1u);
}

} // namespace
