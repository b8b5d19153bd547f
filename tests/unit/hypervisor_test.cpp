#include "hypervisor/hypervisor.h"

#include "app/tool_setup.h"
#include "hypervisor/capture_file.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::fakes;
using Lines = std::vector<std::string>;

namespace {

const char* const kCapture = "C:\\App\\Tarnwick.tmp";

const VmwareTools kVmrun{"C:\\P\\vmrun.exe", true, ""};
const VmwareTools kVmwareCmd{"C:\\S\\vmware-cmd.bat", false, ""};

class HypervisorTest : public ::testing::Test {
  protected:
    explicit HypervisorTest(const VmwareTools& tools = kVmrun) : hypervisor(Make(tools, captures)) {}
    Hypervisor Make(const VmwareTools& tools, CaptureFiles& files_) {
        return Hypervisor(
            HypervisorServices{tools, files_, ui, ui, processes, files, [this] { return userLimit; }});
    }
    // The tool answers by writing output into the capture file, as cmd's redirection would.
    void ToolPrints(std::string output, uint32_t exitCode = 0) {
        processes.tool = [this, output, exitCode](const std::string&) {
            files.files[kCapture] = output;
            return ScriptedProcesses::Answer{true, exitCode};
        };
    }

    std::optional<uint32_t> userLimit;
    RecordingUi ui;
    ScriptedProcesses processes;
    MemoryFiles files;
    CaptureFiles captures{kCapture};
    Hypervisor hypervisor;
};

TEST_F(HypervisorTest, ExecVmCommandJudgesTheExitCodeThenTheOutput) {
    struct Case {
        bool useVmrun;
        const char* output;
        uint32_t exitCode;
        bool success;
    };
    const Case cases[] = {
        {true, "", 1, false}, // a tool that fails silently, or on its error output only
        {true, "\r\n \r\n", 255, false},
        {true, "VMware banner\r\nresult: The operation was successful\r\n", 255, false},
        {true, "", 0, true},
        {true, "\r\n \r\n", 0, true},
        {true, "VMware banner\r\nresult: The operation was successful\r\n", 0, true},
        {true, "result: The operation was successful\r\n", 0, false},
        {true, "Error: Cannot open VM: D:\\x.vmx, Cannot read the virtual machine configuration file\r\n", 0,
         false},
        {false, "start() = 1\r\n", 0, true},
        {false, "start() = 0\r\n", 0, false},
        {false, "() = 1\r\n", 0, false},
        {false, "VMControl error -11: No such virtual machine: D:\\x.vmx\r\n", 255, false},
    };
    for (const Case& c : cases) {
        Hypervisor tool = Make(c.useVmrun ? kVmrun : kVmwareCmd, captures);
        ToolPrints(c.output, c.exitCode);
        ui.trace.clear();
        EXPECT_EQ(tool.ExecVmCommand("start", "D:\\x.vmx"), c.success) << c.output;
        if (!c.success) {
            EXPECT_EQ(ui.Logged().at(2), "  Exit code: " + std::to_string(c.exitCode));
        }
    }
}

TEST_F(HypervisorTest, SuccessLogsOnlyTheCommandLine) {
    ToolPrints("", 0);
    EXPECT_TRUE(hypervisor.ExecVmCommand("start", "D:\\VMs\\a b\\x.vmx"));
    EXPECT_EQ(
        ui.Logged(),
        Lines{R"(      DosCmd: cmd /c ""C:\P\vmrun.exe" start "D:\VMs\a b\x.vmx" > "C:\App\Tarnwick.tmp"")"});
    ASSERT_EQ(processes.lines.size(), 1u);
    EXPECT_EQ(processes.lines[0], ui.Logged()[0].substr(14));
    EXPECT_EQ(processes.workingDirs[0], "");
    EXPECT_TRUE(processes.waits[0]);
    // Cleared before the run, so that nothing older passes for its output; afterwards it stays.
    EXPECT_EQ(files.deleted, Lines{kCapture});
    EXPECT_TRUE(files.FileExists(kCapture));
}

TEST_F(HypervisorTest, ToolsRunningOnlyForTheExactAnswerAndNothingLoggedButTheCommand) {
    struct Case {
        const char* output;
        bool started;
        bool running;
    };
    const Case cases[] = {
        {"running\r\n", true, true},
        {" running ", true, true},
        {"installed\r\n", true, false},
        {"not installed\r\n", true, false},
        {"unknown\r\n", true, false},
        {"Running\r\n", true, false},
        {"Error: Cannot open VM\r\n", true, false},
        {"running\r\n", false, false}, // cmd never started: an old capture is no answer
    };
    for (const Case& c : cases) {
        ui.trace.clear();
        processes.tool = [this, c](const std::string&) {
            files.files[kCapture] = c.output;
            return ScriptedProcesses::Answer{c.started, 0};
        };
        EXPECT_EQ(hypervisor.ToolsRunning("D:\\VMs\\a b\\x.vmx", 60), c.running) << c.output;
        EXPECT_EQ(
            ui.Logged(),
            Lines{
                R"(      DosCmd: cmd /c ""C:\P\vmrun.exe" checkToolsState "D:\VMs\a b\x.vmx" > "C:\App\Tarnwick.tmp"")"})
            << c.output;
    }
}

TEST_F(HypervisorTest, FailureIsLoggedInThreeEntries) {
    Hypervisor vmwareCmd = Make(kVmwareCmd, captures);
    ToolPrints("VMControl error -8: Invalid operation\r\nsecond line", 0xFFFFFFFFu);
    EXPECT_FALSE(vmwareCmd.ExecVmCommand("snapshot", "D:\\x.vmx"));
    EXPECT_EQ(
        ui.Logged(),
        (Lines{
            R"(      DosCmd: cmd /c ""C:\S\vmware-cmd.bat" "D:\x.vmx" snapshot > "C:\App\Tarnwick.tmp"")",
            "Error snapshoting \"D:\\x.vmx\".",
            "  Exit code: 4294967295",
            "  Command output: \r\n     VMControl error -8: Invalid operation\r\n     second line\r\n",
        }));
}

TEST_F(HypervisorTest, CmdNotStartedIsAFailureThatShowsNoOlderOutput) {
    files.files[kCapture] = "left over";
    processes.tool = [](const std::string&) { return ScriptedProcesses::Answer{false, 7}; };
    EXPECT_FALSE(hypervisor.ExecVmCommand("deletesnapshot", "D:\\x.vmx"));
    ASSERT_EQ(ui.Logged().size(), 4u);
    EXPECT_EQ(ui.Logged()[1], "Error deletesnapshoting \"D:\\x.vmx\".");
    EXPECT_EQ(ui.Logged()[2], "  Exit code: 0");
    EXPECT_EQ(ui.Logged()[3], "  Command output: \r\n");
    EXPECT_FALSE(files.FileExists(kCapture));
}

TEST_F(HypervisorTest, CaptureUnreadableOrNeverWrittenIsAFailure) {
    ToolPrints("");
    files.unreadable.insert(kCapture);
    EXPECT_FALSE(hypervisor.ExecVmCommand("start", "D:\\x.vmx"));
    ASSERT_EQ(ui.Logged().size(), 4u);
    EXPECT_EQ(ui.Logged()[3], "  Command output: \r\n     (the output file could not be read: cannot read "
                              "C:\\App\\Tarnwick.tmp)\r\n");

    // cmd could not open the file (another program holds it): the tool never ran.
    ui.trace.clear();
    files.unreadable.clear();
    files.files[kCapture] = "";
    processes.tool = [](const std::string&) { return ScriptedProcesses::Answer{true, 0}; };
    EXPECT_FALSE(hypervisor.ExecVmCommand("suspend", "D:\\x.vmx"));
    ASSERT_EQ(ui.Logged().size(), 4u);
    EXPECT_EQ(ui.Logged()[3], "  Command output: \r\n     (no output file was written)\r\n");
}

TEST_F(HypervisorTest, EachRunHasTheLimitOfItsKindAndARunPastItFails) {
    Hypervisor& limited = hypervisor;
    processes.tool = [this](const std::string& line) {
        const bool listing = line.find(" list ") != std::string::npos;
        files.files[kCapture] = listing ? "Total running VMs: 0\r\n" : "";
        return ScriptedProcesses::Answer{true, 0, line.find(" suspend ") != std::string::npos};
    };
    Lines list;
    EXPECT_TRUE(limited.ExecVmCommand("start", "D:\\x.vmx"));
    EXPECT_TRUE(limited.ListRunningVms(list));
    userLimit = 5;
    EXPECT_TRUE(limited.ExecVmCommand("snapshot", "D:\\x.vmx"));
    EXPECT_TRUE(limited.ListRunningVms(list));
    userLimit = 900;
    EXPECT_TRUE(limited.ListRunningVms(list));
    // Default 300; a listing at most 60, or the user's limit when lower.
    EXPECT_EQ(processes.limits, (std::vector<uint32_t>{300, 60, 5, 5, 60}));

    ui.trace.clear();
    int limitsPassed = 0;
    limited.SetLimitPassedHandler([&] { ++limitsPassed; });
    EXPECT_FALSE(limited.ExecVmCommand("suspend", "D:\\x.vmx"));
    EXPECT_EQ(limitsPassed, 1);
    const std::string line = R"(cmd /c ""C:\P\vmrun.exe" suspend "D:\x.vmx" > "C:\App\Tarnwick.tmp"")";
    ASSERT_EQ(ui.Logged().size(), 5u);
    EXPECT_EQ(ui.Logged()[1], "      Ended after the limit of 900 seconds: " + line);
    EXPECT_EQ(ui.Logged()[2], "Error suspending \"D:\\x.vmx\".");
    EXPECT_EQ(ui.Logged()[3], "  Exit code: 1460");
    // A soft stop past its limit is followed by a suspension, which is what counts.
    processes.tool = [](const std::string&) { return ScriptedProcesses::Answer{true, 0, true}; };
    EXPECT_FALSE(limited.ExecVmCommand("stop", "D:\\x.vmx"));
    EXPECT_EQ(ui.Logged()[7], "Error stopping \"D:\\x.vmx\".");
    EXPECT_EQ(limitsPassed, 1);

    // A wait's query takes what is left of the wait, at least a second; ended there, it is the wait's
    // end and no tool that failed to finish. Under its own limit it is one.
    processes.limits.clear();
    processes.tool = [](const std::string&) { return ScriptedProcesses::Answer{true, 0, true}; };
    userLimit = 30;
    EXPECT_FALSE(limited.ToolsRunning("D:\\x.vmx", 4));
    EXPECT_FALSE(limited.ToolsRunning("D:\\x.vmx", 0));
    EXPECT_FALSE(limited.ToolsRunning("D:\\x.vmx", 120));
    EXPECT_EQ(processes.limits, (std::vector<uint32_t>{4, 1, 30}));
    EXPECT_EQ(limitsPassed, 2);
    EXPECT_EQ(limited.RunsEndedAtLimit(), 3u); // the stop too, which the notice leaves out

    // Nothing can be made without a limit: it would run every tool under the default, whatever the user set.
    EXPECT_THROW(Hypervisor(HypervisorServices{kVmrun, captures, ui, ui, processes, files, nullptr}),
                 std::logic_error);
}

TEST_F(HypervisorTest, EveryHypervisorOfARunHasTheUsersLimitAndItsOwnCaptureFiles) {
    // The tray copy's and a /BKP run's, each with its own log, made in the one place.
    ControlList list;
    ConfigOptions options;
    options.toolTimeout = "120";
    list.SetOptions(options);
    const ToolSetup setup(kVmrun, captures, ui, processes, files, list);
    RecordingUi backupLog;
    Hypervisor tray = setup.Make(ui);
    Hypervisor backup = setup.Make(backupLog);
    processes.tool = [&](const std::string& line) {
        // Exit posted to the /BKP run's window: the tray side suspends while the backup's suspend waits.
        if (line.find("a.vmx") != std::string::npos) tray.ExecVmCommand("suspend", "D:\\b.vmx");
        return ScriptedProcesses::Answer{true, 0, true};
    };
    EXPECT_FALSE(backup.ExecVmCommand("suspend", "D:\\a.vmx"));
    EXPECT_EQ(processes.limits, (std::vector<uint32_t>{120, 120}));
    EXPECT_EQ(processes.lines.at(1),
              R"(cmd /c ""C:\P\vmrun.exe" suspend "D:\b.vmx" > "C:\App\Tarnwick.1.tmp"")");
    EXPECT_EQ(backupLog.Lines("log:      Ended after the limit of ").size(), 1u);
    EXPECT_EQ(ui.Lines("log:      Ended after the limit of 120 seconds").size(), 1u);
}

TEST_F(HypervisorTest, DoubleQuoteIsNeverHandedToCmd) {
    struct Case {
        const char* tool;
        const char* verb;
        const char* vmPath;
        const char* capture;
        const char* offending;
    };
    const Case cases[] = {
        {"C:\\P\\vmrun.exe", "start", "D:\\a\" & calc & \"\\x.vmx", kCapture, "D:\\a\" & calc & \"\\x.vmx"},
        {"C:\\P\"\\vmrun.exe", "start", "D:\\x.vmx", kCapture, "C:\\P\"\\vmrun.exe"},
        {"C:\\P\\vmrun.exe", "start\"", "D:\\x.vmx", kCapture, "start\""},
        {"C:\\P\\vmrun.exe", "start", "D:\\x.vmx", "C:\\A\"pp\\Tarnwick.tmp", "C:\\A\"pp\\Tarnwick.tmp"},
    };
    for (const Case& c : cases) {
        ui.trace.clear();
        processes.lines.clear();
        CaptureFiles capture{c.capture};
        Hypervisor tool = Make(VmwareTools{c.tool, true, ""}, capture);
        EXPECT_FALSE(tool.ExecVmCommand(c.verb, c.vmPath));
        EXPECT_TRUE(processes.lines.empty());
        EXPECT_EQ(ui.Logged(),
                  Lines{std::string("      DosCmd refused, a double quote would break the command line: ") +
                        c.offending});
    }
}

TEST_F(HypervisorTest, NestedRunReadsItsOwnCapture) {
    // While the outer "suspend" waits, a handler runs "start" of another VM.
    std::vector<std::string> nestedCaptures;
    bool nestedResult = true;
    processes.tool = [&](const std::string& line) {
        if (line.find(" suspend ") != std::string::npos) {
            files.files[kCapture] = "Error: The virtual machine is not powered on: D:\\a.vmx\r\n";
            nestedResult = hypervisor.ExecVmCommand("start", "D:\\b.vmx");
            nestedCaptures.push_back(hypervisor.CapturePath());
        } else {
            files.files["C:\\App\\Tarnwick.1.tmp"] = "result: The operation was successful\r\n";
        }
        return ScriptedProcesses::Answer{};
    };
    EXPECT_FALSE(hypervisor.ExecVmCommand("suspend", "D:\\a.vmx"));
    EXPECT_FALSE(nestedResult); // the nested run saw its own output, the bare success text
    ASSERT_EQ(processes.lines.size(), 2u);
    EXPECT_EQ(processes.lines[1], R"(cmd /c ""C:\P\vmrun.exe" start "D:\b.vmx" > "C:\App\Tarnwick.1.tmp"")");
    EXPECT_EQ(nestedCaptures, Lines{"C:\\App\\Tarnwick.1.tmp"});
    // Each failure shows the output of its own run.
    ASSERT_EQ(ui.Logged().size(), 8u);
    EXPECT_EQ(ui.Logged()[2], "Error starting \"D:\\b.vmx\".");
    EXPECT_EQ(ui.Logged()[4], "  Command output: \r\n     result: The operation was successful\r\n");
    EXPECT_EQ(ui.Logged()[5], "Error suspending \"D:\\a.vmx\".");
    EXPECT_EQ(ui.Logged()[7],
              "  Command output: \r\n     Error: The virtual machine is not powered on: D:\\a.vmx\r\n");
    EXPECT_EQ(files.deleted, (Lines{kCapture, "C:\\App\\Tarnwick.1.tmp", "C:\\App\\Tarnwick.1.tmp"}));
    EXPECT_EQ(hypervisor.CapturePath(), kCapture);
}

TEST_F(HypervisorTest, DepthIsRestoredWhenAHandlerThrows) {
    processes.tool = [&](const std::string&) -> ScriptedProcesses::Answer { throw IoError("log is locked"); };
    EXPECT_THROW(hypervisor.ExecVmCommand("start", "D:\\x.vmx"), IoError);
    EXPECT_EQ(hypervisor.CapturePath(), kCapture);
}

TEST_F(HypervisorTest, CapturePathPerDepth) {
    struct Case {
        const char* temp;
        Lines expected; // depth 0, 1, 2
    };
    const Case cases[] = {
        {"C:\\App\\Tarnwick.tmp",
         {"C:\\App\\Tarnwick.tmp", "C:\\App\\Tarnwick.1.tmp", "C:\\App\\Tarnwick.2.tmp"}},
        {"C:\\a.b\\Tarnwick", {"C:\\a.b\\Tarnwick", "C:\\a.b\\Tarnwick.1", "C:\\a.b\\Tarnwick.2"}},
    };
    for (const Case& c : cases) {
        CaptureFiles capture{c.temp};
        // Runs nest through one Hypervisor or another of the same process alike.
        Hypervisor one = Make(kVmrun, capture);
        Hypervisor other = Make(kVmrun, capture);
        Lines seen;
        processes.tool = [&](const std::string&) {
            seen.push_back(one.CapturePath());
            if (seen.size() < 3) (seen.size() == 1 ? other : one).ExecVmCommand("start", "D:\\x.vmx");
            return ScriptedProcesses::Answer{};
        };
        seen.push_back(one.CapturePath());
        one.ExecVmCommand("start", "D:\\x.vmx");
        EXPECT_EQ(Lines(seen.begin(), seen.begin() + 3), c.expected);
        EXPECT_EQ(other.CapturePath(), c.temp);
    }
}

// --- Running-VM listing -------------------------------------------------------------------------

TEST_F(HypervisorTest, VmrunListingDropsTheHeaderAndTellsAnErrorFromNoVm) {
    struct Case {
        std::optional<std::string> output; // nullopt: no capture file at all
        uint32_t exitCode;
        std::optional<Lines> items; // nullopt: the listing failed, the list is left alone
        bool box = false;           // the failure is the run's, not the answer's
    };
    const Case cases[] = {
        {"Total running VMs: 2\r\nD:\\VMs\\b\\b.vmx\r\nC:\\a b\\A.vmx\r\n", 0,
         Lines{"D:\\VMs\\b\\b.vmx", "C:\\a b\\A.vmx"}},
        {"Total running VMs: 0\r\n", 0, Lines{}},
        {"Total running VMs: 1\nD:\\x.vmx", 0, Lines{"D:\\x.vmx"}},
        // A failure is never an empty listing.
        {"", 0, std::nullopt},
        {"Error: Unable to connect to host\r\n", 0, std::nullopt},
        {std::nullopt, 0, std::nullopt, true},
        {"Error: Unable to connect to host\r\n", 255, std::nullopt, true},
        {"", 1, std::nullopt, true},
    };
    for (const Case& c : cases) {
        ui.trace.clear();
        files.files[kCapture] = "Total running VMs: 1\r\nD:\\older.vmx\r\n";
        processes.tool = [&](const std::string&) {
            if (c.output) files.files[kCapture] = *c.output;
            return ScriptedProcesses::Answer{true, c.exitCode};
        };
        Lines list{"stale"};
        EXPECT_EQ(hypervisor.ListRunningVms(list), c.items.has_value()) << c.output.value_or("(none)");
        EXPECT_EQ(list, c.items.value_or(Lines{"stale"}));
        EXPECT_EQ(ui.Lines("box:"),
                  c.box ? Lines{"VMRun failed, exit code: " + std::to_string(c.exitCode)} : Lines{});
        EXPECT_FALSE(files.FileExists(kCapture));
    }
    EXPECT_EQ(processes.lines.back(), R"(cmd /c ""C:\P\vmrun.exe" list > "C:\App\Tarnwick.tmp"")");
}

TEST_F(HypervisorTest, ListingNotStartedShowsTheBoxAndKeepsTheList) {
    files.files[kCapture] = "old";
    processes.tool = [](const std::string&) { return ScriptedProcesses::Answer{false, 0}; };
    Lines list{"kept"};
    EXPECT_FALSE(hypervisor.ListRunningVms(list));
    EXPECT_EQ(list, Lines{"kept"});
    EXPECT_EQ(ui.Lines("box:"), Lines{"VMRun failed, exit code: 0"});
    EXPECT_FALSE(files.FileExists(kCapture));
}

class VmwareCmdListing : public HypervisorTest {
  protected:
    VmwareCmdListing() : HypervisorTest(kVmwareCmd) {}
    // "-l" prints the listing; "getstate" answers from states, keyed by the quoted path.
    void Serve(std::string listing, std::map<std::string, std::string> states,
               std::set<std::string> notStarted = {}) {
        processes.tool = [this, listing, states, notStarted](const std::string& line) {
            if (line.find(" -l ") != std::string::npos) {
                files.files[kCapture] = listing;
                return ScriptedProcesses::Answer{};
            }
            for (const auto& [path, answer] : states) {
                if (line.find("\"" + path + "\" getstate") == std::string::npos) continue;
                if (notStarted.contains(path)) return ScriptedProcesses::Answer{false, 0};
                files.files[kCapture] = answer;
                return ScriptedProcesses::Answer{true, 0};
            }
            files.files[kCapture] = "VMControl error -11: No such virtual machine\r\n";
            return ScriptedProcesses::Answer{true, 255};
        };
    }
};

TEST_F(VmwareCmdListing, QueriesFromLastToFirstAndKeepsTheRunningOnes) {
    Serve("D:\\a.vmx\r\nD:\\b b.vmx\r\nD:\\c.vmx\r\n", {{"D:\\a.vmx", "getstate() = off\r\n"},
                                                        {"D:\\b b.vmx", "getstate() = on\r\n"},
                                                        {"D:\\c.vmx", "getstate() = suspended"}});
    Lines list;
    hypervisor.ListRunningVms(list);
    EXPECT_EQ(list, Lines{"D:\\b b.vmx"});
    EXPECT_EQ(processes.lines,
              (Lines{
                  R"(cmd /c ""C:\S\vmware-cmd.bat" -l > "C:\App\Tarnwick.tmp"")",
                  R"(cmd /c ""C:\S\vmware-cmd.bat" "D:\c.vmx" getstate > "C:\App\Tarnwick.tmp"")",
                  R"(cmd /c ""C:\S\vmware-cmd.bat" "D:\b b.vmx" getstate > "C:\App\Tarnwick.tmp"")",
                  R"(cmd /c ""C:\S\vmware-cmd.bat" "D:\a.vmx" getstate > "C:\App\Tarnwick.tmp"")",
              }));
    EXPECT_EQ(ui.Logged().size(), 4u); // one "DosCmd" line per run
    EXPECT_FALSE(files.FileExists(kCapture));
    EXPECT_EQ(files.deleted, Lines(5, kCapture)); // before each of the four runs, and at the end
}

TEST_F(VmwareCmdListing, OnlyTheExactStateTextCounts) {
    Serve("D:\\1.vmx\r\nD:\\2.vmx\r\nD:\\3.vmx\r\nD:\\4.vmx\r\n\r\n",
          {{"D:\\1.vmx", "  getstate() = on  \r\n\r\n"},
           {"D:\\2.vmx", "getstate() = ON\r\n"},
           {"D:\\3.vmx", "getstate() = on\r\nextra\r\n"},
           {"D:\\4.vmx", "getstate()  = on"}});
    Lines list;
    hypervisor.ListRunningVms(list);
    EXPECT_EQ(list, Lines{"D:\\1.vmx"});
    // The blank item is asked about with no VM path, and dropped.
    EXPECT_EQ(processes.lines[1], R"(cmd /c ""C:\S\vmware-cmd.bat" getstate > "C:\App\Tarnwick.tmp"")");
}

TEST_F(VmwareCmdListing, StateQueryNotStartedKeepsTheItem) {
    Serve("D:\\a.vmx\r\nD:\\b.vmx\r\n", {{"D:\\a.vmx", "getstate() = off"}, {"D:\\b.vmx", ""}},
          {"D:\\b.vmx"});
    Lines list;
    hypervisor.ListRunningVms(list);
    EXPECT_EQ(list, Lines{"D:\\b.vmx"});
    EXPECT_EQ(ui.Lines("box:"), Lines{"VMRun...getstate failed, exit code: 0"});
    EXPECT_FALSE(files.FileExists(kCapture));
}

TEST_F(VmwareCmdListing, ItemWithADoubleQuoteIsDroppedUnasked) {
    Serve("D:\\a\" & del x & \".vmx\r\nD:\\b.vmx\r\n", {{"D:\\b.vmx", "getstate() = on"}});
    Lines list;
    hypervisor.ListRunningVms(list);
    EXPECT_EQ(list, Lines{"D:\\b.vmx"});
    EXPECT_EQ(processes.lines.size(), 2u);
    EXPECT_TRUE(ui.Lines("box:").empty());
}

TEST_F(VmwareCmdListing, UnreadableListingFailsAndItsCaptureIsDeleted) {
    Serve("D:\\a.vmx\r\n", {});
    files.unreadable.insert(kCapture);
    Lines list{"kept"};
    EXPECT_FALSE(hypervisor.ListRunningVms(list));
    EXPECT_EQ(list, Lines{"kept"});
    EXPECT_EQ(ui.Lines("box:"), Lines{"VMRun failed, exit code: 0"});
    EXPECT_EQ(files.deleted, Lines(2, kCapture));
}

TEST_F(VmwareCmdListing, StateQueryPastItsLimitOrUnreadableKeepsTheItem) {
    Serve("D:\\a.vmx\r\nD:\\b.vmx\r\nD:\\c.vmx\r\n",
          {{"D:\\a.vmx", "getstate() = on"}, {"D:\\c.vmx", "getstate() = off"}});
    const auto serve = processes.tool;
    processes.tool = [&](const std::string& line) {
        ScriptedProcesses::Answer answer = serve(line);
        if (line.find("b.vmx") != std::string::npos) answer.hangs = true;
        return answer;
    };
    Lines list;
    EXPECT_TRUE(hypervisor.ListRunningVms(list));
    EXPECT_EQ(list, (Lines{"D:\\a.vmx", "D:\\b.vmx"}));
    EXPECT_EQ(ui.Lines("log:      Ended after the limit of 60 seconds: ").size(), 1u);
}

// --- Capture file per copy of the program --------------------------------------------------------

class ScriptedClaims : public FileClaims {
  public:
    std::map<std::string, Claim> answers; // lock path -> answer; others are ours
    Lines asked;
    Claim HoldForLife(const std::string& lockPath) override {
        asked.push_back(lockPath);
        const auto found = answers.find(lockPath);
        return found == answers.end() ? Claim::Ours : found->second;
    }
};

TEST(CaptureFile, EachRunningCopyGetsAFileOfItsOwnAndTheFirstKeepsTheUsualName) {
    const std::string dir = "C:\\App\\";
    ScriptedClaims claims;
    EXPECT_EQ(ClaimCapturePath(dir, claims, 77), "C:\\App\\Tarnwick.tmp");
    EXPECT_EQ(claims.asked, Lines{"C:\\App\\Tarnwick.tmp.lock"});

    // Beside a tray copy; then beside two, of which the first has ended (or crashed) since.
    claims.answers["C:\\App\\Tarnwick.tmp.lock"] = FileClaims::Claim::HeldByAnother;
    EXPECT_EQ(ClaimCapturePath(dir, claims, 77), "C:\\App\\Tarnwick-2.tmp");
    claims.answers = {{"C:\\App\\Tarnwick-2.tmp.lock", FileClaims::Claim::HeldByAnother}};
    EXPECT_EQ(ClaimCapturePath(dir, claims, 77), "C:\\App\\Tarnwick.tmp");

    // A nested run's file of one copy is never another copy's file.
    CaptureFiles capture{CaptureSlotPath(dir, 2)};
    RecordingUi ui;
    ScriptedProcesses processes;
    MemoryFiles files;
    Hypervisor second(
        HypervisorServices{kVmrun, capture, ui, ui, processes, files, [] { return std::nullopt; }});
    Lines nested;
    processes.tool = [&](const std::string&) {
        nested.push_back(second.CapturePath());
        if (nested.size() < 3) second.ExecVmCommand("start", "D:\\x.vmx");
        return ScriptedProcesses::Answer{};
    };
    second.ExecVmCommand("start", "D:\\x.vmx");
    EXPECT_EQ(nested,
              (Lines{"C:\\App\\Tarnwick-2.1.tmp", "C:\\App\\Tarnwick-2.2.tmp", "C:\\App\\Tarnwick-2.3.tmp"}));
    for (int slot = 1; slot <= CaptureSlots; ++slot)
        for (const std::string& name : nested)
            EXPECT_NE(CaptureSlotPath(dir, slot), name);

    // Every slot taken: the process's own name. No lock possible: the usual name first, then the own one.
    claims.answers.clear();
    for (int slot = 1; slot <= CaptureSlots; ++slot)
        claims.answers[CaptureLockPath(CaptureSlotPath(dir, slot))] = FileClaims::Claim::HeldByAnother;
    EXPECT_EQ(ClaimCapturePath(dir, claims, 4242), "C:\\App\\Tarnwick-p4242.tmp");
    claims.answers = {{"C:\\App\\Tarnwick.tmp.lock", FileClaims::Claim::Unavailable}};
    EXPECT_EQ(ClaimCapturePath(dir, claims, 5), "C:\\App\\Tarnwick.tmp");
    claims.answers = {{"C:\\App\\Tarnwick.tmp.lock", FileClaims::Claim::HeldByAnother},
                      {"C:\\App\\Tarnwick-2.tmp.lock", FileClaims::Claim::Unavailable}};
    claims.asked.clear();
    EXPECT_EQ(ClaimCapturePath(dir, claims, 5), "C:\\App\\Tarnwick-p5.tmp");
    EXPECT_EQ(claims.asked.size(), 2u);
}

} // namespace
