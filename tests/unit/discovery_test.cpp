#include "hypervisor/discovery.h"

#include "app/startup.h"
#include "hypervisor_fakes.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <variant>

using namespace tarnwick;
using namespace tarnwick::hypervisor_test;
using Lines = std::vector<std::string>;

namespace {

const char* const kWsKey = "SOFTWARE\\VMware, Inc.\\VMware Workstation";
const char* const kServerKey = "SOFTWARE\\VMware, Inc.\\VMware Server";

struct WrongType {};
using Value = std::variant<std::string, WrongType>;

class FakeRegistry : public RegistryReader {
  public:
    std::optional<std::string> ReadMachineString(RegistryView view, const std::string& keyPath,
                                                 const std::string& valueName) override {
        reads.emplace_back(view, keyPath);
        const auto found = values.find({view, keyPath, valueName});
        if (found == values.end()) return std::nullopt;
        if (std::holds_alternative<WrongType>(found->second)) throw RegistryDataError(valueName);
        return std::get<std::string>(found->second);
    }
    void Set(RegistryView view, const std::string& key, Value value) {
        values[{view, key, "InstallPath"}] = std::move(value);
    }
    std::map<std::tuple<RegistryView, std::string, std::string>, Value> values;
    std::vector<std::pair<RegistryView, std::string>> reads;
};

// Start-up's search over the real discovery: what it settles and what it tells the user.
class SearchHost : public StartupHost {
  public:
    explicit SearchHost(Discovery& discovery) : discovery_(discovery) {}
    VmwareProbe ProbeVmware(const std::string& product) override { return discovery_.Probe(product); }
    void DisableSnapshot() override { ++snapshotDisabled; }
    void QuitApp() override { ++quits; }
    bool EndRequested() const override { return quits > 0; }
    void ShowToolDir(const std::string&) override { ADD_FAILURE() << "not a step of the search"; }
    void LoadConfig() override { ADD_FAILURE() << "not a step of the search"; }
    int BackupRunningVms(const std::string&) override {
        ADD_FAILURE() << "not a step of the search";
        return 0;
    }
    bool CheckOtherInstance() override {
        ADD_FAILURE() << "not a step of the search";
        return false;
    }
    void StartAll() override { ADD_FAILURE() << "not a step of the search"; }
    void EnableHideTimer() override { ADD_FAILURE() << "not a step of the search"; }

    int quits = 0;
    int snapshotDisabled = 0;

  private:
    Discovery& discovery_;
};

class DiscoveryTest : public ::testing::Test {
  protected:
    std::string FindVmware() { return startup.FindVmware(); }
    void Install(const std::string& dir, std::initializer_list<const char*> names) {
        for (const char* name : names)
            files.files[dir + name] = "";
    }

    MainState state;
    RecordingReporter reporter;
    RecordingDialogs dialogs;
    MemoryFiles files;
    FakeRegistry registry;
    Discovery discovery{files, registry};
    SearchHost host{discovery};
    Startup startup{state, reporter, dialogs, host};
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
        int quits;
        int snapshotDisabled;
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
        state = MainState{};
        reporter = RecordingReporter{};
        dialogs = RecordingDialogs{};
        files = MemoryFiles{};
        registry = FakeRegistry{};
        host.quits = host.snapshotDisabled = 0;
        for (const auto& [key, path] : c.keys)
            registry.Set(RegistryView::Bits32, key, path);
        for (const std::string& path : c.existing)
            files.files[path] = "";

        EXPECT_EQ(FindVmware(), c.toolDir);
        EXPECT_EQ(state.vmware.toolDir, c.toolDir);
        EXPECT_EQ(state.vmware.useVmrun, c.useVmrun);
        EXPECT_EQ(state.vmware.toolPath, c.toolPath);
        EXPECT_EQ(reporter.statuses, c.statuses);
        EXPECT_EQ(dialogs.messages, c.messages);
        EXPECT_EQ(host.quits, c.quits);
        EXPECT_EQ(host.snapshotDisabled, c.snapshotDisabled);
    }
}

TEST_F(DiscoveryTest, WorkstationWinsAndServerIsNeverRead) {
    const std::string ws = "C:\\WS\\";
    registry.Set(RegistryView::Bits64, kWsKey, ws);
    registry.Set(RegistryView::Bits32, kServerKey, "C:\\S\\");
    Install(ws, {"vmware.exe", "vmrun.exe"});
    Install("C:\\S\\", {"vmware.exe", "vmware-cmd.bat"});
    EXPECT_EQ(FindVmware(), ws);
    EXPECT_EQ(state.vmware.toolPath, "C:\\WS\\vmrun.exe");
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
    EXPECT_TRUE(reporter.log.empty());
    EXPECT_EQ(host.quits, 0);
}

TEST_F(DiscoveryTest, WhatAFailedProductToldAndAskedForStandsWhenTheNextOneThrows) {
    Install("C:\\WS\\", {"vmware.exe"});
    registry.Set(RegistryView::Bits32, kWsKey, "C:\\WS\\");
    registry.Set(RegistryView::Bits32, kServerKey, WrongType{});
    EXPECT_THROW(FindVmware(), RegistryDataError);
    EXPECT_EQ(dialogs.messages, Lines{"ERROR: C:\\WS\\vmrun.exe not found. Terminating."});
    EXPECT_EQ(host.quits, 1);
    EXPECT_EQ(state.vmware.toolPath, "C:\\WS\\vmrun.exe");
}

} // namespace
