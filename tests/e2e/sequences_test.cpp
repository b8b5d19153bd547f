// /START, the launch button and Exit, against the simulator: what the tools were asked, what the log says.
#include "driver.h"
#include "vmware_fixture.h"

#include <gtest/gtest.h>
#include <shellapi.h>

using namespace e2e;

namespace {

constexpr int kList = 1003, kLaunch = 1108;
using Call = std::vector<std::string>; // role, exe, working directory, arguments...

std::string Ini(const std::vector<std::pair<std::string, bool>>& entries) {
    std::string s = "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n";
    for (const auto& [text, on] : entries)
        s += "  " + text + " = " + (on ? "-1" : "0") + "\r\n";
    return s;
}

// Answers the next "Confirm" question.
void AnswerQuestion(const Process& p, const std::string& expected, bool yes) {
    HWND q = WaitWindow(p.Id(), "#32770", "Confirm", 20s);
    ASSERT_TRUE(q) << "no question: " << expected;
    EXPECT_EQ(MessageBoxText(q), expected);
    ClickButton(q, yes ? "&Yes" : "&No");
    WaitFor([&] { return !IsWindow(q); }, 5s);
}

// Registers command as this user's program for opening .log files for as long as it lives. Wine 8
// reads file associations only from the machine's classes, so it goes there as well.
class LogFileHandler {
  public:
    explicit LogFileHandler(const std::string& command) {
        for (HKEY root : kRoots) {
            RegSetKeyValueA(root, "Software\\Classes\\.log", nullptr, REG_SZ, kClass, sizeof kClass);
            RegSetKeyValueA(root, "Software\\Classes\\TarnwickTestLog\\shell\\open\\command", nullptr, REG_SZ,
                            command.c_str(), static_cast<DWORD>(command.size() + 1));
        }
    }
    ~LogFileHandler() {
        for (HKEY root : kRoots) {
            RegDeleteTreeA(root, "Software\\Classes\\TarnwickTestLog");
            RegDeleteTreeA(root, "Software\\Classes\\.log");
        }
    }
    LogFileHandler(const LogFileHandler&) = delete;
    LogFileHandler& operator=(const LogFileHandler&) = delete;

  private:
    static constexpr char kClass[] = "TarnwickTestLog";
    inline static const HKEY kRoots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
};

struct Lab {
    Workspace ws;
    VmwareInstall vmware{ws.Dir()};
    std::string alpha = vmware.MakeVm("Alpha", "Alpha");
    std::string beta = vmware.MakeVm("Beta Web", "Beta Web");
    std::string gamma = vmware.MakeVm("R&D Lab", "R&D Lab");
    std::string delta = vmware.MakeVm("Delta", "Delta");
    std::string team = ws.Dir() + "VMs\\Lab.vmtm";
    std::string tmp = ws.Dir() + "Tarnwick.tmp";
    std::string vmrun = vmware.InstallDir() + "vmrun.exe";

    std::string DosCmd(const std::string& verb, const std::string& vm) const {
        return "      DosCmd: cmd /c \"\"" + vmrun + "\" " + verb + " \"" + vm + "\" > \"" + tmp + "\"\"";
    }
};

} // namespace

TEST(Sequences, StartRunsTheListInOrderWithTeamDelayAndPrompts) {
    Lab lab;
    WriteFileBytes(lab.team, lab.delta + "\r\n");
    const auto entries = std::vector<std::pair<std::string, bool>>{
        {lab.alpha, true}, {lab.team, true},  {"DELAY:1", true}, {"PROMPT:", true},
        {lab.beta, true},  {lab.gamma, true}, {lab.delta, false}};
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini", Ini(entries));

    Process p("\"" + lab.ws.Exe() + "\" /START", false);
    AnswerQuestion(p, "Launch VM: " + lab.beta + "?", false);
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main) << lab.ws.Log();
    // Hidden a second after the sequence.
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 10s));

    const std::vector<std::vector<std::string>> expected = {
        {"vmrun", "start", lab.alpha}, {"vmware", "-x", "-q", lab.team}, {"vmrun", "start", lab.gamma}};
    EXPECT_EQ(lab.vmware.Calls(), expected);
    // The Team was opened from the tool folder.
    const auto journal = lab.vmware.Journal();
    ASSERT_EQ(journal.size(), 3u);
    std::string toolDir = lab.vmware.InstallDir();
    toolDir.pop_back();
    EXPECT_EQ(journal[1][2], toolDir);
    EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
    EXPECT_EQ(lab.vmware.State(lab.beta), "off");

    const auto lines = LogMessages(lab.ws.Log());
    std::vector<std::string> tail(lines.begin() + 1, lines.end());
    ASSERT_GE(tail.size(), 10u) << lab.ws.Log();
    const std::string last = tail.back();
    tail.pop_back();
    const std::vector<std::string> want = {"Starting VMs...",
                                           "Starting VM: " + lab.alpha,
                                           lab.DosCmd("start", lab.alpha),
                                           "Opening Team: " + lab.team,
                                           "Sleeping for 1 seconds...",
                                           "Awaiting User Response...",
                                           "Skipped VM: SKIP:" + lab.beta,
                                           "Starting VM: " + lab.gamma,
                                           lab.DosCmd("start", lab.gamma)};
    EXPECT_EQ(tail, want);
    EXPECT_EQ(last.rfind("VMs Started: ", 0), 0u) << last;
    // The marker is gone again, and nothing was saved.
    EXPECT_EQ(ListText(GetDlgItem(main, kList), 4), lab.beta);
    EXPECT_EQ(ReadFileBytes(lab.ws.Dir() + "Tarnwick.ini"), Ini(entries));
    ASSERT_TRUE(ExitThroughTray(p, main, false));
    // Answered No: nothing was suspended.
    EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
    EXPECT_EQ(lab.vmware.State(lab.gamma), "running");
    EXPECT_EQ(LogMessages(lab.ws.Log()).back(), "Tarnwick Terminated.");

    // The VM passed over after the No is started by the next /START when the answer is Yes.
    lab.vmware.Ctl("clear-journal");
    Process again("\"" + lab.ws.Exe() + "\" /START", false);
    AnswerQuestion(again, "Launch VM: " + lab.beta + "?", true);
    HWND main2 = WaitWindow(again.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main2);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main2); }, 10s));
    EXPECT_EQ(lab.vmware.State(lab.beta), "running");
    EXPECT_TRUE(ExitThroughTray(again, main2, false));
}

TEST(Sequences, ExitWithYesSuspendsTheListBottomUpThenTheOthers) {
    Lab lab;
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini", Ini({{lab.alpha, true},
                                                       {"DELAY:10", true},
                                                       {"PROMPT:", true},
                                                       {lab.beta, true},
                                                       {lab.delta, false}}));
    for (const std::string& vm : {lab.alpha, lab.beta, lab.gamma, lab.delta})
        lab.vmware.Ctl("set-state \"" + vm + "\" running");
    Process p("\"" + lab.ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    PostMessageA(main, WM_USER + 1, 100, WM_RBUTTONDOWN);
    Sleep(500);
    keybd_event('X', 0, 0, 0);
    keybd_event('X', 0, KEYEVENTF_KEYUP, 0);
    AnswerQuestion(p, "Do you want to suspend all your VMs before closing?", true);
    ASSERT_TRUE(p.WaitExit(30s).has_value());
    const std::vector<std::vector<std::string>> expected = {{"vmrun", "suspend", lab.beta},
                                                            {"vmrun", "suspend", lab.alpha},
                                                            {"vmrun", "list"},
                                                            {"vmrun", "suspend", lab.gamma},
                                                            {"vmrun", "suspend", lab.delta}};
    EXPECT_EQ(lab.vmware.Calls(), expected);
    for (const std::string& vm : {lab.alpha, lab.beta, lab.gamma, lab.delta})
        EXPECT_EQ(lab.vmware.State(vm), "suspended");
    const auto lines = LogMessages(lab.ws.Log());
    const std::vector<std::string> want = {"Suspending cataloged VMs in reverse specified order...",
                                           "  Suspending VM: " + lab.beta,
                                           lab.DosCmd("suspend", lab.beta),
                                           "Skipping startup user prompt...",
                                           "Sleeping for 10/10 seconds...",
                                           "  Suspending VM: " + lab.alpha,
                                           lab.DosCmd("suspend", lab.alpha),
                                           "Suspending any other running VMs...",
                                           "      DosCmd: cmd /c \"\"" + lab.vmrun + "\" list > \"" +
                                               lab.tmp + "\"\"",
                                           "  Suspending VM: " + lab.gamma,
                                           lab.DosCmd("suspend", lab.gamma),
                                           "  Suspending VM: " + lab.delta,
                                           lab.DosCmd("suspend", lab.delta),
                                           "",
                                           "Tarnwick being closed by user...",
                                           "Tarnwick Terminated."};
    ASSERT_GE(lines.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<long>(want.size()), lines.end()), want);
    // The two the list would not start are kept for the next /START.
    EXPECT_EQ(ReadFileBytes(lab.ws.Dir() + "Tarnwick.resume"), lab.gamma + "\r\n" + lab.delta + "\r\n");
}

TEST(Sequences, LaunchButtonStartsADisabledEntryAndHoldsTheSession) {
    Lab lab;
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini", Ini({{lab.alpha, true}, {lab.delta, false}}));
    Process p("\"" + lab.ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    // Before any launch a logoff is let through.
    EXPECT_EQ(SendMessageA(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    ASSERT_TRUE(SelectListLine(GetDlgItem(main, kList), 1));
    Sleep(200);
    PressCommand(main, kLaunch);
    ASSERT_TRUE(WaitFor([&] { return lab.vmware.State(lab.delta) == "running"; }, 15s));
    ASSERT_TRUE(WaitFor([&] { return WindowText(main) == "Tarnwick"; }, 5s));
    EXPECT_EQ(lab.vmware.State(lab.alpha), "off");
    // Now the next logoff is refused until the VMs are suspended.
    EXPECT_EQ(SendMessageA(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    const auto lines = LogMessages(lab.ws.Log());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Starting VM: " + lab.delta), lines.end());
    EXPECT_EQ(lines.back(), "Denying Windows Logoff request so we can suspend VMs.");
    p.Kill();
}

// The VMs left running at logoff follow the list: the gone one is skipped, Beta fails, R&D Lab starts.
TEST(Sequences, AFailedLogonStartGivesOneNoticeAndTheLogOpensInTheUsersEditor) {
    Lab lab;
    const std::string gone = lab.ws.Dir() + "VMs\\Gone\\Gone.vmx";
    std::string ini = Ini({{gone, true}});
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini",
                   ini.insert(ini.find("[Control]"), "  ResumeOthers = -1\r\n"));
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.resume", gone + "\r\n" + lab.beta + "\r\n" + lab.gamma + "\r\n");
    lab.vmware.Ctl("inject \"" + lab.beta + "\" start exit=255");
    // The user's program for .log files: a stand-in that writes down what it was asked to open.
    const std::string opened = lab.ws.Dir() + "opened.txt";
    const std::string handler = "cmd.exe /c echo \"%1\">\"" + opened + "\"";
    const LogFileHandler registered(handler);

    Process p("\"" + lab.ws.Exe() + "\" /START", false);
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main);
    const std::string notice = "2 of 3 VMs could not be started. Click to see the log.";
    ASSERT_TRUE(WaitFor([&] { return CountTrayTips(notice) > 0; }, 20s)) << lab.ws.Log();
    EXPECT_EQ(CountTrayTips(notice), 1);
    const auto lines = LogMessages(lab.ws.Log());
    for (const std::string& line :
         {"Error starting \"" + gone + "\".",
          "Skipping VM left running at logoff (its .vmx no longer exists): " + gone,
          "Error starting \"" + lab.beta + "\".", "Restarting VM left running at logoff: " + lab.gamma})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\n" << lab.ws.Log();
    EXPECT_EQ(lab.vmware.State(lab.gamma), "running");
    EXPECT_FALSE(FileExists(lab.ws.Dir() + "Tarnwick.resume"));

    const std::string expected = "\"" + lab.ws.LogPath() + "\"\r\n";
    ChooseFromTrayMenu(main, 'L');
    EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(opened) == expected; }, 20s)) << ReadFileBytes(opened);
    // A click on the balloon does the same, the way the shell reports it.
    DeleteFileA(opened.c_str());
    PostMessageA(main, WM_USER + 1, 100, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(opened) == expected; }, 20s)) << ReadFileBytes(opened);
    EXPECT_TRUE(p.Running()) << "the notice of a logon start does not end the program";
    p.Kill();
}

TEST(Sequences, AToolFailureIsLoggedInThreeLinesAndTheSequenceGoesOn) {
    Lab lab;
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini", Ini({{lab.alpha, true}, {lab.beta, true}}));
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" start \"stdout=Error: Boom{CRLF}second line\" exit=255");
    Process p("\"" + lab.ws.Exe() + "\" /START", false);
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 20s));
    EXPECT_EQ(lab.vmware.State(lab.alpha), "off");
    EXPECT_EQ(lab.vmware.State(lab.beta), "running");
    const std::string log = lab.ws.Log();
    const size_t at = log.find(" - Error starting \"" + lab.alpha + "\".\r\n");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find(" -   Exit code: 255\r\n", at), std::string::npos) << log;
    EXPECT_NE(log.find(" -   Command output: \r\n     Error: Boom\r\n     second line\r\n", at),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Starting VM: " + lab.beta, at), std::string::npos);
    p.Kill();
}

TEST(Sequences, AHungStartIsEndedAtItsLimitWithItsToolAndTheSequenceGoesOn) {
    Lab lab;
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini",
                   "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n  ToolTimeout = 3\r\n[Control]\r\n  " +
                       lab.alpha + " = -1\r\n  " + lab.beta + " = -1\r\n");
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" start hang");
    const ULONGLONG started = GetTickCount64();
    Process p("\"" + lab.ws.Exe() + "\" /START", false);
    ASSERT_TRUE(WaitFor([&] { return lab.ws.Log().find("VMs Started: ") != std::string::npos; }, 30s))
        << lab.ws.Log();
    const ULONGLONG took = GetTickCount64() - started;
    EXPECT_GE(took, 3000u);
    EXPECT_LT(took, 15000u);
    EXPECT_EQ(lab.vmware.State(lab.alpha), "off");
    EXPECT_EQ(lab.vmware.State(lab.beta), "running");
    const auto lines = LogMessages(lab.ws.Log());
    const std::string command = lab.DosCmd("start", lab.alpha).substr(14);
    const auto ended =
        std::find(lines.begin(), lines.end(), "      Ended after the limit of 3 seconds: " + command);
    ASSERT_NE(ended, lines.end()) << lab.ws.Log();
    ASSERT_LT(ended + 5, lines.end());
    EXPECT_EQ(ended[1], "Error starting \"" + lab.alpha + "\".");
    EXPECT_EQ(ended[2], "  Exit code: 1460");
    EXPECT_EQ(ended[5], "Starting VM: " + lab.beta);
    // The hung tool went with its cmd: no simulator process is left running.
    EXPECT_EQ(CountProcesses("vmrun.exe"), 0);
    p.Kill();
}

TEST(Sequences, AToolThatFailsOnItsErrorOutputAloneFailsTheStartAndTheSuspend) {
    Lab lab;
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini", Ini({{lab.alpha, true}, {lab.beta, true}}));
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" start \"stderr=Error: Insufficient permissions\" exit=255");
    lab.vmware.Ctl("inject \"" + lab.beta + "\" suspend \"stderr=Error: The operation failed\" exit=255");
    Process p("\"" + lab.ws.Exe() + "\" /START", false);
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 20s));
    PostMessageA(main, WM_USER + 1, 100, WM_RBUTTONDOWN);
    Sleep(500);
    keybd_event('X', 0, 0, 0);
    keybd_event('X', 0, KEYEVENTF_KEYUP, 0);
    AnswerQuestion(p, "Do you want to suspend all your VMs before closing?", true);
    ASSERT_TRUE(WaitExitClosingNotice(p, 30s).has_value());
    EXPECT_EQ(lab.vmware.State(lab.beta), "running");
    const auto lines = LogMessages(lab.ws.Log());
    for (const std::string& failed :
         {"Error starting \"" + lab.alpha + "\".", "Error suspending \"" + lab.beta + "\"."}) {
        const auto at = std::find(lines.begin(), lines.end(), failed);
        ASSERT_NE(at, lines.end()) << failed << "\n" << lab.ws.Log();
        ASSERT_LT(at + 3, lines.end());
        EXPECT_EQ(at[1], "  Exit code: 255");
        EXPECT_EQ(at[2], "  Command output: ");
        EXPECT_EQ(at[3], ""); // nothing on standard output
    }
}

TEST(Sequences, VmwareCmdBackEndStartsSuspendsAndQueriesEachListedVm) {
    Workspace ws;
    InstallOptions server;
    server.product = Product::Server;
    VmwareInstall vmware(ws.Dir(), server);
    const std::string alpha = vmware.MakeVm("Alpha", "Alpha");
    const std::string beta = vmware.MakeVm("R&D Lab", "R&D Lab");
    const std::string gamma = vmware.MakeVm("Gamma", "Gamma");
    vmware.Ctl("set-state \"" + gamma + "\" running");
    WriteFileBytes(ws.Dir() + "Tarnwick.ini",
                   "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n  " + alpha +
                       " = -1\r\n  " + beta + " = -1\r\n");
    Process p("\"" + ws.Exe() + "\" /START", false);
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 20s));
    EXPECT_EQ(vmware.State(alpha), "running");
    EXPECT_EQ(vmware.State(beta), "running");
    const std::string tool = vmware.InstallDir() + "vmware-cmd.bat";
    const std::string tmp = ws.Dir() + "Tarnwick.tmp";
    const auto lines = LogMessages(ws.Log());
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  "      DosCmd: cmd /c \"\"" + tool + "\" \"" + alpha + "\" start > \"" + tmp + "\"\""),
        lines.end())
        << ws.Log();

    vmware.Ctl("clear-journal");
    PostMessageA(main, WM_USER + 1, 100, WM_RBUTTONDOWN);
    Sleep(500);
    keybd_event('X', 0, 0, 0);
    keybd_event('X', 0, KEYEVENTF_KEYUP, 0);
    AnswerQuestion(p, "Do you want to suspend all your VMs before closing?", true);
    ASSERT_TRUE(p.WaitExit(60s).has_value());
    // The list bottom-up, then the listing, each listed VM queried from the last to the first, and the
    // one still running suspended.
    const std::vector<std::vector<std::string>> expected = {{"vmware-cmd", beta, "suspend"},
                                                            {"vmware-cmd", alpha, "suspend"},
                                                            {"vmware-cmd", "-l"},
                                                            {"vmware-cmd", gamma, "getstate"},
                                                            {"vmware-cmd", beta, "getstate"},
                                                            {"vmware-cmd", alpha, "getstate"},
                                                            {"vmware-cmd", gamma, "suspend"}};
    EXPECT_EQ(vmware.Calls(), expected);
    for (const std::string& vm : {alpha, beta, gamma})
        EXPECT_EQ(vmware.State(vm), "suspended");
}

// At Exit, on the vmware-cmd back-end: Alpha suspends, Beta's guest shuts down in 2 s, R&D Lab's guest
// is still on when the limit ends its stop and it is suspended instead, Delta is left running.
TEST(Sequences, ExitStopsEachVmByItsStopActionAndNothingCountsAsFailed) {
    Workspace ws;
    InstallOptions server;
    server.product = Product::Server;
    VmwareInstall vmware(ws.Dir(), server);
    const std::string alpha = vmware.MakeVm("Alpha", "Alpha"), beta = vmware.MakeVm("Beta Web", "Beta Web"),
                      gamma = vmware.MakeVm("R&D Lab", "R&D Lab"), delta = vmware.MakeVm("Delta", "Delta");
    std::string ini = Ini({{alpha, true}, {beta, true}, {gamma, true}, {delta, true}});
    ini.insert(ini.find("[Control]"), "  ToolTimeout = 4\r\n");
    WriteFileBytes(ws.Dir() + "Tarnwick.ini", ini + "[StopAction]\r\n  " + beta + " = shutdown\r\n  " +
                                                  gamma + " = Shutdown\r\n  " + delta + " = leave\r\n");
    vmware.Ctl("set-shutdown \"" + beta + "\" 2000");
    vmware.Ctl("set-shutdown \"" + gamma + "\" 30000");
    Process p("\"" + ws.Exe() + "\" /START", false);
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 20s));
    vmware.Ctl("clear-journal");
    ASSERT_TRUE(ExitThroughTray(p, main, true, 60s)) << ws.Log();

    std::vector<std::vector<std::string>> acted; // without the listings' state queries
    for (const auto& call : vmware.Calls())
        if (call.size() > 2 && call[2] != "getstate") acted.push_back(call);
    EXPECT_EQ(acted, (std::vector<std::vector<std::string>>{{"vmware-cmd", gamma, "stop", "trysoft"},
                                                            {"vmware-cmd", gamma, "suspend"},
                                                            {"vmware-cmd", beta, "stop", "trysoft"},
                                                            {"vmware-cmd", alpha, "suspend"}}));
    EXPECT_EQ(vmware.State(beta) + " " + vmware.State(delta), "off running");
    const std::string log = ws.Log();
    size_t at = 0;
    for (const std::string& line :
         {"  Leaving VM running: " + delta, "  Shutting down VM: " + gamma,
          std::string("    not off after 4 seconds; suspending instead."), "  Shutting down VM: " + beta})
        EXPECT_NE(at = log.find(" - " + line + "\r\n", at), std::string::npos) << line << "\n" << log;
    for (const std::string& tip : TrayTips())
        EXPECT_EQ(tip.find("could not be"), std::string::npos) << tip;
}

TEST(Sequences, PercentAndAmpersandInAPathReachTheToolUnchanged) {
    Lab lab;
    const std::string odd = lab.vmware.MakeVm("100%PATH% & co", "x%OS%");
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini", Ini({{odd, true}}));
    Process p("\"" + lab.ws.Exe() + "\" /START", false);
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 20s));
    const std::vector<std::vector<std::string>> expected = {{"vmrun", "start", odd}};
    EXPECT_EQ(lab.vmware.Calls(), expected);
    EXPECT_EQ(lab.vmware.State(odd), "running");
    p.Kill();
}

struct WaitScene {
    const char* name;
    const char* tools; // set-tools for Alpha; nullptr: none
    bool alphaOn;
    const char* wait;
    double least, most;             // seconds from the first start to Beta's start
    std::vector<std::string> lines; // line starts in the log in this order; {A} for Alpha's path
};

TEST(Sequences, AWaitEntryStartsTheNextVmWhenTheToolsAboveRunOrActsAsADelay) {
    const std::vector<WaitScene> scenes = {
        {"tools up after 3 s",
         "3000",
         true,
         "WAIT:30",
         3.0,
         10.0,
         {"Starting VM: {A}", "Waiting up to 30 seconds for {A} to be ready...", "  ready after "}},
        {"tools never up",
         "not-installed",
         true,
         "WAIT:4",
         4.0,
         10.0,
         {"Waiting up to 4 seconds for {A} to be ready...", "  not ready after 4 seconds; going on."}},
        // Gamma above, started and with its tools up at once, is not waited for in Alpha's place.
        {"Alpha disabled",
         nullptr,
         false,
         "WAIT:4",
         4.0,
         9.0,
         {"Starting VM: {G}",
          "Cannot wait for {A} to be ready: it was not started in this run; sleeping instead.",
          "Sleeping for 4 seconds...", "Starting VM: {B}"}},
    };
    for (const WaitScene& s : scenes) {
        SCOPED_TRACE(s.name);
        Lab lab;
        if (s.tools) lab.vmware.Ctl("set-tools \"" + lab.alpha + "\" " + s.tools);
        WriteFileBytes(
            lab.ws.Dir() + "Tarnwick.ini",
            Ini({{lab.gamma, !s.alphaOn}, {lab.alpha, s.alphaOn}, {s.wait, true}, {lab.beta, true}}));
        Process p("\"" + lab.ws.Exe() + "\" /START", false);
        HWND main = WaitWindow(p.Id(), "TfrmMain", "", 20s);
        ASSERT_TRUE(main);
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 60s)) << lab.ws.Log();

        const auto calls = lab.vmware.Calls();
        const auto times = lab.vmware.CallTimes();
        ASSERT_EQ(calls.size(), times.size());
        ASSERT_GE(calls.size(), 2u);
        const std::vector<std::string> first = {"vmrun", "start", s.alphaOn ? lab.alpha : lab.gamma};
        const std::vector<std::string> last = {"vmrun", "start", lab.beta};
        EXPECT_EQ(calls.front(), first);
        EXPECT_EQ(calls.back(), last);
        const double gap = times.back() - times.front();
        EXPECT_GE(gap, s.least);
        EXPECT_LE(gap, s.most);
        // Only Alpha's tools were asked, and only when it was started.
        for (size_t i = 1; i + 1 < calls.size(); ++i) {
            const std::vector<std::string> query = {"vmrun", "checkToolsState", lab.alpha};
            EXPECT_EQ(calls[i], query);
        }
        if (!s.alphaOn) {
            EXPECT_EQ(calls.size(), 2u);
        }

        std::vector<std::string> wanted;
        for (std::string line : s.lines) {
            for (const auto& [key, path] :
                 {std::pair{"{A}", lab.alpha}, {"{B}", lab.beta}, {"{G}", lab.gamma}})
                if (const size_t at = line.find(key); at != std::string::npos) line.replace(at, 3, path);
            wanted.push_back(line);
        }
        const auto log = LogMessages(lab.ws.Log());
        auto from = log.begin();
        for (const std::string& line : wanted) {
            from = std::find_if(from, log.end(), [&](const std::string& l) { return l.starts_with(line); });
            EXPECT_NE(from, log.end()) << "missing in order: " << line << "\n" << lab.ws.Log();
            if (from == log.end()) break;
        }
        p.Kill();
    }
}
