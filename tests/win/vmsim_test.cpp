// The VMware tool simulator, run as the program runs it: real processes, the real cmd, the batch file.
// vmsim.exe comes from this build: <build>/tools/vmsim/, two folders above this test's own.
#include <windows.h>

#include "common/win32/module.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir + "*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(dir + name + "\\");
            else
                DeleteFileA((dir + name).c_str());
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

struct Outcome {
    std::string out;
    std::string err;
    DWORD exitCode = 0;
    bool finished = false;
    DWORD elapsedMs = 0;
};

class Child {
  public:
    // Starts a command line with standard output and error in files; "cwd" empty for the test's own.
    Child(const std::string& commandLine, const std::string& dir, const std::string& cwd = "",
          DWORD flags = CREATE_NO_WINDOW)
        : dir_(dir) {
        static int serial = 0;
        ++serial;
        outPath_ = dir + "out" + std::to_string(serial) + ".txt";
        errPath_ = dir + "err" + std::to_string(serial) + ".txt";
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        out_ = CreateFileA(outPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        err_ = CreateFileA(errPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out_;
        si.hStdError = err_;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::string line = commandLine;
        start_ = GetTickCount();
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                  cwd.empty() ? nullptr : cwd.c_str(), &si, &pi_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (started_) {
            CloseHandle(pi_.hThread);
            CloseHandle(pi_.hProcess);
        }
        CloseHandle(out_);
        CloseHandle(err_);
        DeleteFileA(outPath_.c_str());
        DeleteFileA(errPath_.c_str());
    }
    bool Started() const { return started_; }
    HANDLE Process() const { return pi_.hProcess; }
    void Resume() const { ResumeThread(pi_.hThread); }

    Outcome Wait(DWORD timeoutMs = 15000) {
        Outcome r;
        if (!started_) return r;
        r.finished = WaitForSingleObject(pi_.hProcess, timeoutMs) == WAIT_OBJECT_0;
        r.elapsedMs = GetTickCount() - start_;
        if (!r.finished) {
            TerminateProcess(pi_.hProcess, 99);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        GetExitCodeProcess(pi_.hProcess, &r.exitCode);
        r.out = ReadAll(outPath_);
        r.err = ReadAll(errPath_);
        return r;
    }

  private:
    std::string dir_, outPath_, errPath_;
    HANDLE out_ = INVALID_HANDLE_VALUE, err_ = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
    DWORD start_ = 0;
};

class VmsimTest : public ::testing::Test {
  protected:
    static inline std::string root_, bin_, home_, vms_, source_;
    static inline std::string a_, r_, p_, missing_;

    static void SetUpTestSuite() {
        const std::string self = tarnwick::win32::ModuleFileName();
        std::string build = self.substr(0, self.find_last_of('\\'));
        build = build.substr(0, build.find_last_of('\\'));
        build = build.substr(0, build.find_last_of('\\') + 1);
        source_ = build + "tools\\vmsim\\";

        char buf[MAX_PATH];
        GetTempPathA(MAX_PATH, buf);
        root_ = std::string(buf) + "vmsim-test-" + std::to_string(GetCurrentProcessId()) + "\\";
        bin_ = root_ + "VMware Workstation\\";
        home_ = root_ + "state\\";
        vms_ = root_ + "VMs\\";
        for (const std::string& d : {root_, bin_, home_, vms_})
            CreateDirectoryA(d.c_str(), nullptr);
        CopyFileA((source_ + "vmsim.exe").c_str(), (bin_ + "vmsim.exe").c_str(), FALSE);
        CopyFileA((source_ + "vmsim.exe").c_str(), (bin_ + "vmrun.exe").c_str(), FALSE);
        CopyFileA((source_ + "vmsim.exe").c_str(), (bin_ + "vmware.exe").c_str(), FALSE);
        CopyFileA((source_ + "vmware-cmd.bat").c_str(), (bin_ + "vmware-cmd.bat").c_str(), FALSE);

        a_ = MakeVm("a b", "x.vmx");
        r_ = MakeVm("R&D (1) ^x !y!", "r.vmx");
        p_ = MakeVm("100%PATH%", "p.vmx");
        for (int i = 0; i < 8; ++i)
            MakeVm("c" + std::to_string(i), "c.vmx");
        missing_ = vms_ + "gone\\gone.vmx";
        SetEnvironmentVariableA("VMSIM_HOME", home_.c_str());
    }

    static void TearDownTestSuite() {
        SetEnvironmentVariableA("VMSIM_HOME", nullptr);
        RemoveTree(root_);
    }

    static std::string MakeVm(const std::string& folder, const std::string& file) {
        std::string dir = vms_ + folder + "\\";
        CreateDirectoryA(dir.c_str(), nullptr);
        WriteAll(dir + file, "config.version = \"8\"\r\n");
        return dir + file;
    }

    void SetUp() override {
        ASSERT_EQ(GetFileAttributesA((source_ + "vmsim.exe").c_str()) != INVALID_FILE_ATTRIBUTES, true)
            << "vmsim.exe not built in " << source_;
        DeleteFileA(StatePath().c_str());
        DeleteFileA(JournalPath().c_str());
    }

    static std::string StatePath() { return home_ + "vmsim-state.txt"; }
    static std::string JournalPath() { return home_ + "vmsim-journal.txt"; }
    static std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

    // The tool with each argument quoted, as a program that builds command lines itself would pass it.
    static Outcome Tool(const std::string& exe, const std::vector<std::string>& args,
                        DWORD timeoutMs = 15000) {
        std::string line = Quoted(bin_ + exe);
        for (const std::string& a : args)
            line += " " + Quoted(a);
        Child child(line, root_);
        return child.Wait(timeoutMs);
    }
    static Outcome Vmrun(const std::vector<std::string>& args) { return Tool("vmrun.exe", args); }
    static Outcome Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), "--ctl");
        return Tool("vmsim.exe", args);
    }

    // cmd /c ""tool" args > "capture"": the form the program hands to CreateProcess.
    static Outcome ThroughCmd(const std::string& toolAndArgs, std::string* capture,
                              const std::string& cwd = "") {
        std::string capturePath = root_ + "Tarnwick.tmp";
        DeleteFileA(capturePath.c_str());
        Child child("cmd /c \"" + toolAndArgs + " > " + Quoted(capturePath) + "\"", root_, cwd);
        Outcome run = child.Wait();
        *capture = ReadAll(capturePath);
        return run;
    }

    static std::string StateLine(const std::string& power, const std::string& vm) {
        return "vm\t" + power + "\t" + vm + "\r\n";
    }
    static bool StateHas(const std::string& line) {
        return ReadAll(StatePath()).find(line) != std::string::npos;
    }
};

TEST_F(VmsimTest, VmrunAnswersAsTheRealToolInEachState) {
    struct Step {
        std::vector<std::string> args;
        std::string out;
        DWORD exitCode;
    };
    const std::string notOn = "Error: The virtual machine is not powered on: " + a_ + "\r\n";
    const Step steps[] = {
        {{"list"}, "Total running VMs: 0\r\n", 0},
        {{"start", missing_},
         "Error: Cannot open VM: " + missing_ + ", Cannot read the virtual machine configuration file\r\n",
         255},
        {{"suspend", a_}, notOn, 255},
        {{"checkToolsState", a_}, "unknown\r\n", 0},
        {{"START", a_, "nogui"}, "", 0},
        {{"checktoolsstate", a_}, "running\r\n", 0}, // no boot time set: at once
        {{"checkToolsState", missing_},
         "Error: Cannot open VM: " + missing_ + ", Cannot read the virtual machine configuration file\r\n",
         255},
        {{"-T", "ws", "list"}, "Total running VMs: 1\r\n" + a_ + "\r\n", 0},
        {{"snapshot", a_}, "Error: Invalid number of arguments for command: snapshot\r\n", 255},
        {{"snapshot", a_, "Tarnwick_Backup"}, "", 0},
        {{"deleteSnapshot", a_, "Tarnwick_Backup"}, "", 0},
        {{"deletesnapshot", a_, "Tarnwick_Backup"},
         "Error: A snapshot with the name does not exist\r\n",
         255},
        {{"Suspend", a_, "soft"}, "", 0},
        {{"suspend", a_, "hard"}, notOn, 255},
        {{"start", a_, "fast"}, "Error: Invalid argument: fast\r\n", 255},
        {{"frobnicate", a_}, "Error: Unrecognized command: frobnicate\r\n", 255},
        {{"start", p_}, "", 0},
        {{"list"}, "Total running VMs: 1\r\n" + p_ + "\r\n", 0},
    };
    for (const Step& step : steps) {
        Outcome run = Vmrun(step.args);
        std::string call = step.args[0] + (step.args.size() > 1 ? " " + step.args[1] : "");
        ASSERT_TRUE(run.finished) << call;
        EXPECT_EQ(run.out, step.out) << call;
        EXPECT_EQ(run.exitCode, step.exitCode) << call;
        EXPECT_EQ(run.err, "") << call;
    }
    EXPECT_TRUE(StateHas(StateLine("suspended", a_)));
    EXPECT_EQ(Lines(ReadAll(JournalPath())).size(), std::size(steps));
}

TEST_F(VmsimTest, VmrunThroughCmdJournalsArgvAndWorkingDirectory) {
    std::string capture;
    Outcome run = ThroughCmd("\"" + bin_ + "vmrun.exe\" start " + Quoted(a_), &capture, vms_);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(capture, "");
    run = ThroughCmd("\"" + bin_ + "vmrun.exe\" list", &capture);
    EXPECT_EQ(capture, "Total running VMs: 1\r\n" + a_ + "\r\n");
    run = ThroughCmd("\"" + bin_ + "vmrun.exe\" suspend " + Quoted(missing_), &capture);
    EXPECT_EQ(run.exitCode, 255u) << "cmd hands back the tool's exit code";

    std::vector<std::string> journal = Lines(ReadAll(JournalPath()));
    ASSERT_EQ(journal.size(), 3u);
    std::string cwd = vms_.substr(0, vms_.size() - 1);
    std::regex first("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\t\\d+\tvmrun\t" +
                     std::regex_replace(bin_ + "vmrun.exe\t" + cwd + "\tstart\t" + a_,
                                        std::regex(R"([\\^$.|?*+()\[\]{}])"), R"(\$&)"));
    EXPECT_TRUE(std::regex_match(journal[0], first)) << journal[0];
    EXPECT_EQ(journal[1].substr(journal[1].rfind('\t')), "\tlist");
}

// Blanks, "&", "^" and brackets inside double quotes pass the batch file unchanged. A "%" does not under
// Wine, whose cmd expands the text that %* inserts once more (Windows does not); see the README.
TEST_F(VmsimTest, VmwareCmdBatchKeepsQuotedArgumentsWhole) {
    WriteAll(StatePath(), StateLine("off", r_) + StateLine("running", a_));
    std::string bat = Quoted(bin_ + "vmware-cmd.bat");
    auto wrongState = [](const char* op, const char* state) {
        return std::string("VMControl error -8: Invalid operation for virtual machine's current state: The "
                           "requested operation (\"") +
               op +
               "\") could not be completed because it conflicted with the state of the virtual machine (\"" +
               state +
               "\") at the time the request was received.  This error often occurs because the state of "
               "the virtual machine changed before it received the request.\r\n";
    };
    struct Step {
        std::string args;
        std::string journaled; // the arguments vmsim saw, tab-separated
        std::string out;
        DWORD exitCode;
    };
    const Step steps[] = {
        {"-l", "-l", r_ + "\r\n" + a_ + "\r\n", 0},
        {Quoted(r_) + " suspend", r_ + "\tsuspend", wrongState("suspend", "off"), 1},
        {Quoted(r_) + " start", r_ + "\tstart", "start() = 1\r\n", 0},
        {Quoted(r_) + " START", r_ + "\tSTART", wrongState("start", "on"), 1},
        {Quoted(r_) + " getstate", r_ + "\tgetstate", "getstate() = on\r\n", 0},
        {Quoted(a_) + " suspend", a_ + "\tsuspend", "suspend() = 1\r\n", 0},
        {Quoted(missing_) + " getstate", missing_ + "\tgetstate",
         "VMControl error -11: No such virtual machine: The config file " + missing_ +
             " is not registered.  Please register the config file and try again.\r\n",
         1},
    };
    for (const Step& step : steps) {
        std::string capture;
        Outcome run = ThroughCmd(bat + " " + step.args, &capture);
        EXPECT_EQ(capture, step.out) << step.args;
        EXPECT_EQ(run.exitCode, step.exitCode) << step.args;
        std::string last = Lines(ReadAll(JournalPath())).back();
        EXPECT_NE(last.find("\tvmware-cmd\t" + bin_ + "vmsim.exe\t"), std::string::npos) << last;
        EXPECT_EQ(last.substr(last.size() - step.journaled.size() - 1), "\t" + step.journaled) << last;
    }
    EXPECT_TRUE(StateHas(StateLine("running", r_)));
    EXPECT_TRUE(StateHas(StateLine("suspended", a_)));
}

TEST_F(VmsimTest, VmwareExePowersOnEveryVmOfATeam) {
    std::string team = vms_ + "lab.vmtm";
    WriteAll(team, "# the lab\r\na b\\x.vmx\r\n\r\n\"" + r_ + "\"\n");
    Child child(Quoted(bin_ + "vmware.exe") + " -x -q " + Quoted(team), root_, bin_);
    Outcome run = child.Wait();
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(StateHas(StateLine("running", vms_ + "a b\\x.vmx")));
    EXPECT_TRUE(StateHas(StateLine("running", r_)));
    EXPECT_NE(ReadAll(JournalPath())
                  .find("\tvmware\t" + bin_ + "vmware.exe\t" + bin_.substr(0, bin_.size() - 1) +
                        "\t-x\t-q\t" + team + "\r\n"),
              std::string::npos);

    // vmrun suspends a Team's running members.
    run = Vmrun({"suspend", team});
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(StateHas(StateLine("suspended", r_)));
}

TEST_F(VmsimTest, InjectedFailuresAnswerInsteadOfTheTool) {
    struct Case {
        std::string injection; // stored form, after "inject<TAB>vm<TAB>verb"
        std::string verb;      // injected verb
        std::string out, err;
        DWORD exitCode;
        const char* after; // a_'s state after one "vmrun start a_"
    };
    const Case cases[] = {
        {"stdout=Error: Boom\texit=255", "start", "Error: Boom\r\n", "", 255, "off"},
        {"stderr=warning only", "start", "", "warning only\r\n", 0, "running"},
        {"exit=1", "start", "", "", 1, "off"},
        {"exit=4294967295", "vmrun:start", "", "", 4294967295u, "off"},
        {"exit=3", "vmware-cmd:start", "", "", 0, "running"},
        {"exit=3", "vmrun:*", "", "", 3, "off"},
        {"stdout=banner{CRLF}result: The operation was successful\trun", "*",
         "banner\r\nresult: The operation was successful\r\n", "", 0, "running"},
        {"stdout=a{LF}b{x1A}\traw", "start", "a\nb\x1a", "", 0, "off"},
    };
    for (const Case& c : cases) {
        WriteAll(StatePath(),
                 StateLine("off", a_) + "inject\t" + a_ + "\t" + c.verb + "\t" + c.injection + "\r\n");
        Outcome run = Vmrun({"start", a_});
        EXPECT_EQ(run.out, c.out) << c.injection;
        EXPECT_EQ(run.err, c.err) << c.injection;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.injection;
        EXPECT_TRUE(StateHas(StateLine(c.after, a_))) << c.injection << "\n" << ReadAll(StatePath());
    }
}

TEST_F(VmsimTest, ControlCommandsSetInjectionsThatWearOffAndDelay) {
    // "*" must reach the program unglobbed, and times=1 must apply once only.
    Outcome run = Ctl({"inject", "*", "LIST", "stdout=Error: once", "exit=255", "times=1", "delay=300"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(Ctl({"injections"}).out,
              "inject\t*\tlist\tstdout=Error: once\texit=255\tdelay=300\ttimes=1\r\n");
    run = Vmrun({"list"});
    EXPECT_EQ(run.out, "Error: once\r\n");
    EXPECT_EQ(run.exitCode, 255u);
    EXPECT_GE(run.elapsedMs, 300u);
    run = Vmrun({"list"});
    EXPECT_EQ(run.out, "Total running VMs: 0\r\n");

    EXPECT_EQ(Ctl({"inject", a_, "start", "bogus=1"}).exitCode, 2u);
    EXPECT_EQ(Ctl({"set-state", a_, "running"}).exitCode, 0u);
    EXPECT_EQ(Ctl({"state", a_}).out, "running\r\n");
    EXPECT_EQ(Ctl({"journal"}).out, ReadAll(JournalPath()));
    EXPECT_EQ(Lines(ReadAll(JournalPath())).size(), 2u) << "control commands are not journaled";
}

TEST_F(VmsimTest, ToolsRunOnceTheVmHasRunForItsBootTime) {
    const auto tools = [&] { return Vmrun({"checkToolsState", r_}).out; };
    ASSERT_EQ(Ctl({"set-tools", r_, "1500"}).exitCode, 0u);
    EXPECT_EQ(tools(), "unknown\r\n");
    ASSERT_EQ(Vmrun({"start", r_}).exitCode, 0u);
    EXPECT_EQ(tools(), "installed\r\n");
    Sleep(1600);
    EXPECT_EQ(tools(), "running\r\n");
    // Suspended and started again: the boot time counts anew.
    ASSERT_EQ(Vmrun({"suspend", r_}).exitCode, 0u);
    ASSERT_EQ(Vmrun({"start", r_}).exitCode, 0u);
    EXPECT_EQ(tools(), "installed\r\n");
    ASSERT_EQ(Ctl({"set-tools", r_, "not-installed"}).exitCode, 0u);
    EXPECT_EQ(tools(), "not installed\r\n");
    EXPECT_EQ(Ctl({"set-tools", r_, "soon"}).exitCode, 2u);
    ASSERT_EQ(Ctl({"set-tools", r_, "0"}).exitCode, 0u);
    EXPECT_EQ(tools(), "running\r\n");
}

TEST_F(VmsimTest, AHungCallHoldsNoLock) {
    WriteAll(StatePath(), StateLine("off", a_) + "inject\t" + a_ + "\tstart\thang\r\n");
    Child hung(Quoted(bin_ + "vmrun.exe") + " start " + Quoted(a_), root_);
    ASSERT_TRUE(hung.Started());
    EXPECT_EQ(WaitForSingleObject(hung.Process(), 700), static_cast<DWORD>(WAIT_TIMEOUT));
    Outcome other = Vmrun({"start", r_});
    EXPECT_TRUE(other.finished);
    EXPECT_EQ(other.exitCode, 0u);
    Outcome ended = hung.Wait(0);
    EXPECT_FALSE(ended.finished);
    EXPECT_TRUE(StateHas(StateLine("off", a_)));
    EXPECT_TRUE(StateHas(StateLine("running", r_)));
    EXPECT_EQ(Lines(ReadAll(JournalPath())).size(), 2u);
}

TEST_F(VmsimTest, ConcurrentCallsLoseNoUpdate) {
    // Created suspended and let go together, so that their reads and writes of the state overlap.
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 8; ++i) {
        std::string vm = vms_ + "c" + std::to_string(i) + "\\c.vmx";
        children.push_back(std::make_unique<Child>(Quoted(bin_ + "vmrun.exe") + " start " + Quoted(vm), root_,
                                                   "", CREATE_NO_WINDOW | CREATE_SUSPENDED));
    }
    for (auto& child : children)
        child->Resume();
    for (auto& child : children)
        EXPECT_EQ(child->Wait().exitCode, 0u);
    std::string state = ReadAll(StatePath());
    for (int i = 0; i < 8; ++i)
        EXPECT_NE(state.find(StateLine("running", vms_ + "c" + std::to_string(i) + "\\c.vmx")),
                  std::string::npos)
            << state;
    EXPECT_EQ(Lines(ReadAll(JournalPath())).size(), 8u);
}

TEST_F(VmsimTest, RoleAndHomeComeFromTheExecutablesPlace) {
    std::string alt = root_ + "alt\\";
    CreateDirectoryA(alt.c_str(), nullptr);
    CopyFileA((bin_ + "vmsim.exe").c_str(), (alt + "VmRun.EXE").c_str(), FALSE);
    WriteAll(alt + "vmsim.ini", "[vmsim]\r\nHome=althome\r\n");
    SetEnvironmentVariableA("VMSIM_HOME", nullptr);
    Child child(Quoted(alt + "VmRun.EXE") + " list", root_);
    Outcome run = child.Wait();
    SetEnvironmentVariableA("VMSIM_HOME", home_.c_str());
    EXPECT_EQ(run.out, "Total running VMs: 0\r\n");
    std::string journal = ReadAll(alt + "althome\\vmsim-journal.txt");
    EXPECT_NE(journal.find("\tvmrun\t" + alt + "VmRun.EXE\t"), std::string::npos) << journal;
    EXPECT_EQ(ReadAll(JournalPath()), "<missing>");

    run = Tool("vmsim.exe", {"list"});
    EXPECT_EQ(run.exitCode, 2u) << "vmsim.exe under its own name needs a role";
    EXPECT_EQ(Tool("vmrun.exe", {"--ctl", "home"}).out, home_ + "\r\n")
        << "every copy takes control commands";
}

} // namespace
