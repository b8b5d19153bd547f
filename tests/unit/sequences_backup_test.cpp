#include "code_pages.h"
#include "sequences_fakes.h"

using namespace tarnwick;
using namespace tarnwick::sequences_test;
using namespace tarnwick::unit_test;

namespace {

const std::string Xp = "D:\\VMs\\WinXP\\WinXP.vmx";
const std::string Srv = "D:\\VMs\\Server\\Server.vmx";

struct BackupRig {
    FakeWorld w;
    BackupServices services{w, w.options, w, w, w, w, w};
    BackupRig() { w.directories = {"E:\\Bkp", "E:\\Bkp\\"}; }
    BackupExitCode Run(const std::string& target = "E:\\Bkp") { return BackupRunningVms(target, services); }
};

// The lines of one VM that is copied without a hitch, suspend form.
Trace CopiedWithSuspend(const std::string& p, const std::string& f, const std::string& n) {
    return {"log:    Clearing destination directory...",
            "log:      DosCmd: cmd /c \"DEL /Q /F \"E:\\Bkp\\" + n + "\\*.*\"\"",
            "run:cmd /c \"DEL /Q /F \"E:\\Bkp\\" + n + "\\*.*\"\"||wait",
            "log:    Suspending...",
            "exec:suspend " + p,
            "sleep:300",
            "log:    Copying...",
            "log:      DosCmd: cmd /c \"XCOPY /I /Y /C \"" + f + "\" \"E:\\Bkp\\" + n + "\"\"",
            "run:cmd /c \"XCOPY /I /Y /C \"" + f + "\" \"E:\\Bkp\\" + n + "\"\"||wait",
            "sleep:300",
            "log:    Resuming...",
            "exec:start " + p,
            "sleep:300",
            "log:    Done..."};
}

TEST(Backup, VmFolderAndItsName) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        bool usable;
    } cases[] = {
        {R"(D:\VMs\WinXP\WinXP.vmx)", R"(D:\VMs\WinXP)", "WinXP", true},
        {R"(C:\a b\c d\e.vmx)", R"(C:\a b\c d)", "c d", true},
        {R"(\\srv\share\VM\a.vmx)", R"(\\srv\share\VM)", "VM", true},
        {R"(D:\x.vmx)", "D:", "", false},
        {"x.vmx", "", "", false},
        {"D:x.vmx", "D", "D", false},
        {R"(D:\VMs\..\a.vmx)", R"(D:\VMs\..)", "..", false},
        {R"(D:\VMs\.\a.vmx)", R"(D:\VMs\.)", ".", false},
        {"", "", "", false},
    };
    for (const auto& c : cases) {
        const VmFolder split = SplitVmFolder(c.path);
        EXPECT_EQ(split.folder, c.folder) << c.path;
        EXPECT_EQ(split.name, c.name) << c.path;
        EXPECT_EQ(UsableFolderName(c.path, split), c.usable) << c.path;
    }
}

TEST(Backup, CommandLines) {
    EXPECT_EQ(BuildDelCommand(R"(E:\Bkp\)", "WinXP"), R"(cmd /c "DEL /Q /F "E:\Bkp\WinXP\*.*"")");
    EXPECT_EQ(BuildXcopyCommand(R"(D:\VMs\WinXP)", R"(E:\Bkp\)", "WinXP"),
              R"(cmd /c "XCOPY /I /Y /C "D:\VMs\WinXP" "E:\Bkp\WinXP"")");
    EXPECT_EQ(BuildDelCommand(R"(E:\Bkp\)", "100%"), R"(cmd /c "DEL /Q /F "E:\Bkp\100"%"\*.*"")");
    EXPECT_EQ(BuildXcopyCommand(R"(D:\%USERNAME%\VM)", R"(E:\Bkp\)", "VM"),
              R"(cmd /c "XCOPY /I /Y /C "D:\\"%"USERNAME"%"\VM" "E:\Bkp\VM"")");
}

TEST(Backup, AMissingTargetGivesTheMessageAndNothingElse) {
    // An empty target, or one with a quote, is refused even where the file system says it exists.
    for (const auto& [target, exists] :
         {std::pair<std::string, bool>{"E:\\Missing", false}, {"", true}, {"E:\\Bkp\"x", true}}) {
        BackupRig r;
        if (exists) r.w.directories.insert(target);
        EXPECT_EQ(r.Run(target), BackupNoTarget);
        EXPECT_EQ(r.w.trace, (Trace{"box:ERROR: target Directory does not exist: " + target}));
    }
}

TEST(Backup, WithAndWithoutTrailingBackslashTheRunIsTheSame) {
    for (const std::string target : {"E:\\Bkp", "E:\\Bkp\\"}) {
        BackupRig r;
        r.w.entries = {{Xp}};
        r.w.running = {Xp};
        EXPECT_EQ(r.Run(target), BackupSucceeded);
        Trace expected = {"log:Backing up all running VMs to E:\\Bkp\\...", "list-running",
                          "status:  Backing up VM 1/1: " + Xp};
        const Trace vm = CopiedWithSuspend(Xp, "D:\\VMs\\WinXP", "WinXP");
        expected.insert(expected.end(), vm.begin(), vm.end());
        EXPECT_EQ(r.w.trace, expected) << target;
    }
}

TEST(Backup, SnapshotFormUsesSnapshotAndDeletesnapshot) {
    BackupRig r;
    r.w.entries = {{Xp}};
    r.w.running = {Xp};
    r.w.options.useSnapshot = true;
    r.Run();
    const Trace& t = r.w.trace;
    EXPECT_EQ(Trace(t.begin() + 6, t.begin() + 8),
              (Trace{"log:    Creating snapshot...", "exec:snapshot " + Xp}));
    EXPECT_EQ(Trace(t.begin() + 13, t.begin() + 15),
              (Trace{"log:    Committing snapshot...", "exec:deletesnapshot " + Xp}));
    EXPECT_EQ(std::count(t.begin(), t.end(), "exec:suspend " + Xp), 0);
}

TEST(Backup, WhichVmsAreSelected) {
    struct Case {
        std::vector<Entry> entries;
        bool bkpAll;
        const char* skipLine; // nullptr: backed up
    } cases[] = {
        {{{Xp, true}}, false, nullptr},
        {{{Xp, true}}, true, nullptr},
        {{{"d:\\vms\\winxp\\WINXP.VMX", true}}, false, nullptr}, // letter case does not matter
        {{{Xp, false}}, false, "log:    Disabled in control list; skipping..."},
        {{{Xp, false}}, true, "log:    Disabled in control list; skipping..."},
        {{}, true, nullptr},
        {{}, false, "log:    Not in control list; skipping..."},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.entries = c.entries;
        r.w.options.bkpAll = c.bkpAll;
        r.w.running = {Xp};
        EXPECT_EQ(r.Run(), BackupSucceeded);
        EXPECT_EQ(r.w.trace[3], c.skipLine ? c.skipLine : "log:    Clearing destination directory...");
        EXPECT_EQ(r.w.trace.size(), c.skipLine ? 4u : 17u);
    }
}

TEST(Backup, VmsAreNumberedInTheToolsOrder) {
    BackupRig r;
    r.w.running = {"C:\\a\\a.vmx", "C:\\b\\b.vmx", "C:\\c\\c.vmx"};
    r.Run();
    Trace statuses;
    for (const auto& line : r.w.trace)
        if (line.starts_with("status:")) statuses.push_back(line);
    EXPECT_EQ(statuses,
              (Trace{"status:  Backing up VM 1/3: C:\\a\\a.vmx", "status:  Backing up VM 2/3: C:\\b\\b.vmx",
                     "status:  Backing up VM 3/3: C:\\c\\c.vmx"}));
}

TEST(Backup, DelayAfterAVm) {
    struct Case {
        std::vector<Entry> entries;
        Trace after; // what follows "    Done..."
    } cases[] = {
        {{{Xp}, {"DELAY:2", false}, {Srv}}, {"status:   Sleeping for 2 seconds...", "sleep:2000"}},
        {{{Xp}, {"DELAY: 3"}, {"PROMPT:"}}, {"status:   Sleeping for  3 seconds...", "sleep:3000"}},
        // A wait counts as a delay of a tenth of its seconds, by the same rules; no tools are asked.
        {{{Xp}, {"WAIT:30", false}, {Srv}}, {"status:   Sleeping for 30/10 seconds...", "sleep:3000"}},
        {{{Xp}, {"WAIT: 5"}, {"PROMPT:"}}, {"status:   Sleeping for  5/10 seconds...", "sleep:500"}},
        {{{Xp}, {"WAIT:30"}}, {}},
        {{{Xp}, {"WAIT:-1"}, {Srv}},
         {"log:   Skipping invalid wait: \"WAIT:-1\" (the seconds must be a whole number of at least 1)"}},
        {{{Xp}, {"DELAY:2"}}, {}}, // the last entry never counts
        {{{Xp}, {Srv}, {"DELAY:2"}}, {}},
        {{{Xp}, {"DELAY:0"}, {Srv}},
         {"log:   Skipping invalid delay: \"DELAY:0\" (the seconds must be a whole number of at least 1)"}},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.entries = c.entries;
        r.w.running = {Xp};
        r.Run();
        const auto done = std::find(r.w.trace.begin(), r.w.trace.end(), "log:    Done...");
        ASSERT_NE(done, r.w.trace.end());
        EXPECT_EQ(Trace(done + 1, r.w.trace.end()), c.after) << c.entries[1].text;
    }
}

TEST(Backup, ANoVmWithoutAUsableFolderNameNorASecondUseOfOneDeletesAnything) {
    ScopedCodePage cp(Cp1252());
    struct Case {
        std::vector<std::string> running;
        std::string line;
    } cases[] = {
        {{"D:\\Root.vmx"},
         "log:    No usable folder name for this VM; skipping so that no backup is deleted..."},
        {{"Bare.vmx"}, "log:    No usable folder name for this VM; skipping so that no backup is deleted..."},
        {{"D:Rel.vmx"},
         "log:    No usable folder name for this VM; skipping so that no backup is deleted..."},
        {{"D:\\VMs\\..\\Up.vmx"},
         "log:    No usable folder name for this VM; skipping so that no backup is deleted..."},
        {{"D:\\VMs\\Bad\"Name\\x.vmx"}, "log:    Path holds a double quote; not backed up."},
        {{Xp, "F:\\Other\\winxp\\Copy.vmx"},
         "log:    Folder name clash: " + Xp +
             " was backed up into E:\\Bkp\\winxp in this run; skipping "
             "F:\\Other\\winxp\\Copy.vmx so that its copy stays..."},
        // Été and éTÉ are one folder name in code page 1252.
        {{"C:\\VMs\\\xC9t\xE9\\a.vmx", "C:\\VMs\\\xE9T\xC9\\b.vmx"},
         "log:    Folder name clash: C:\\VMs\\\xC9t\xE9\\a.vmx was backed up into E:\\Bkp\\\xE9T\xC9 in this "
         "run; skipping C:\\VMs\\\xE9T\xC9\\b.vmx so that its copy stays..."},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.options.bkpAll = true;
        r.w.running = c.running;
        EXPECT_EQ(r.Run(), BackupStepFailed) << c.line;
        EXPECT_EQ(r.w.trace.back(), c.line);
        EXPECT_EQ(std::count_if(r.w.trace.begin(), r.w.trace.end(),
                                [](const std::string& l) { return l.starts_with("run:cmd /c \"DEL"); }),
                  static_cast<long>(c.running.size() - 1));
    }
}

TEST(Backup, FailedStepsAreReportedAndSetTheExitCode) {
    const std::string del = "cmd /c \"DEL /Q /F \"E:\\Bkp\\WinXP\\*.*\"\"";
    const std::string xcopy = "cmd /c \"XCOPY /I /Y /C \"D:\\VMs\\WinXP\" \"E:\\Bkp\\WinXP\"\"";
    struct Case {
        const char* name;
        std::function<void(FakeWorld&)> arrange;
        const char* line; // nullptr: no line of our own
        BackupExitCode code;
    } cases[] = {
        {"DEL's exit code is no failure",
         [&](FakeWorld& w) {
             w.commandResults[del] = {true, 1};
         },
         nullptr, BackupSucceeded},
        {"DEL not started",
         [&](FakeWorld& w) {
             w.commandResults[del] = {false, 0};
         },
         "log:      (the command could not be started)", BackupStepFailed},
        {"XCOPY failed",
         [&](FakeWorld& w) {
             w.commandResults[xcopy] = {true, 4};
         },
         "log:    XCOPY failed with exit code 4.", BackupStepFailed},
        {"XCOPY not started",
         [&](FakeWorld& w) {
             w.commandResults[xcopy] = {false, 0};
         },
         "log:      (the command could not be started)", BackupStepFailed},
        {"suspend failed", [](FakeWorld& w) { w.failingVerbs = {"suspend " + Xp}; },
         "log:    Suspend failed; copy may be inconsistent.", BackupStepFailed},
        {"snapshot failed",
         [](FakeWorld& w) {
             w.options.useSnapshot = true;
             w.failingVerbs = {"snapshot " + Xp};
         },
         "log:    Snapshot failed; copy may be inconsistent.", BackupStepFailed},
        {"resume failed", [](FakeWorld& w) { w.failingVerbs = {"start " + Xp}; }, nullptr, BackupStepFailed},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.options.bkpAll = true;
        r.w.running = {Xp};
        c.arrange(r.w);
        EXPECT_EQ(r.Run(), c.code) << c.name;
        const auto own = std::count_if(r.w.trace.begin(), r.w.trace.end(),
                                       [&](const std::string& l) { return c.line && l == c.line; });
        EXPECT_EQ(own, c.line ? 1 : 0) << c.name;
        // Every step is still taken: the VM is always resumed and the run goes to its end.
        EXPECT_EQ(r.w.trace.back(), "log:    Done...") << c.name;
    }
}

TEST(Backup, NoRunningVmIsSuccess) {
    BackupRig r;
    EXPECT_EQ(r.Run(), BackupSucceeded);
    EXPECT_EQ(r.w.trace, (Trace{"log:Backing up all running VMs to E:\\Bkp\\...", "list-running"}));
}

} // namespace
