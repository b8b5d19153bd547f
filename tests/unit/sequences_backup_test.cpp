#include "code_pages.h"
#include "sequences/backup_copy.h"
#include "sequences/backup_progress.h"
#include "sequences_fakes.h"

using namespace tarnwick;
using namespace tarnwick::sequences_test;
using namespace tarnwick::unit_test;

namespace {

const std::string Xp = "D:\\VMs\\WinXP\\WinXP.vmx";
const std::string Srv = "D:\\VMs\\Server\\Server.vmx";

struct BackupRig {
    FakeWorld w;
    BackupLog log{w};
    BackupServices services{w, w.options, w, log, w, w, w, w, w};
    BackupRig() {
        w.directories = {"E:\\Bkp", "E:\\Bkp\\"};
        for (const std::string& vm : {Xp, Srv})
            AddVm(vm);
    }
    // A VM folder holding its .vmx and a disk.
    void AddVm(const std::string& vmx) {
        const std::string folder(DirectoryPart(vmx).substr(0, DirectoryPart(vmx).size() - 1));
        // With the folders above it, as a disk has them.
        for (std::string up = folder; up.find('\\') != std::string::npos && up.back() != ':';
             up = up.substr(0, up.rfind('\\')))
            w.directories.insert(up);
        w.files[vmx] = "config.version = 8";
        w.files[folder + "\\disk.vmdk"] = std::string(100, 'd');
    }
    BackupExitCode Run(const std::string& target = "E:\\Bkp") { return BackupRunningVms(target, services); }
    // The files in a folder with their contents.
    std::map<std::string, std::string> In(const std::string& folder) const {
        std::map<std::string, std::string> in;
        for (const auto& [path, bytes] : w.files)
            if (path.starts_with(folder + "\\")) in[path.substr(folder.size() + 1)] = bytes;
        return in;
    }
};

// The lines of one VM that is copied without a hitch, suspend form, into a target with no copy of it.
Trace CopiedWithSuspend(const std::string& p, const std::string& f, const std::string& n) {
    const std::string xcopy =
        "cmd /c \"XCOPY /I /Y /C /H /K \"" + f + "\" \"E:\\Bkp\\" + n + ".tarnwick-partial\"\"";
    return {"lock:E:\\Bkp\\" + n + ".tarnwick-lock",
            "mkdir:E:\\Bkp\\" + n + ".tarnwick-partial",
            "write:E:\\Bkp\\" + n + ".tarnwick-partial\\Tarnwick-backup.mark",
            "log:    Copying while the VM runs (first pass)...",
            "log:      DosCmd: " + xcopy,
            "run:" + xcopy + "||wait",
            "log:    Suspending...",
            "exec:suspend " + p,
            "sleep:300",
            "log:    Copying what changed, with the VM suspended (second pass): 0 of 2 files...",
            "sleep:300",
            "log:    Resuming...",
            "exec:start " + p,
            "sleep:300",
            "log:    Copied 0.0 GB while running, 0.0 GB while suspended; the VM was down 1 s.",
            "rename:E:\\Bkp\\" + n + ".tarnwick-partial>E:\\Bkp\\" + n,
            "log:    Done...",
            "unlock:E:\\Bkp\\" + n + ".tarnwick-lock"};
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
    EXPECT_EQ(BuildXcopyCommand(R"(D:\VMs\WinXP)", R"(E:\Bkp\WinXP.tarnwick-partial)"),
              R"(cmd /c "XCOPY /I /Y /C /H /K "D:\VMs\WinXP" "E:\Bkp\WinXP.tarnwick-partial"")");
    EXPECT_EQ(BuildXcopyCommand(R"(D:\%USERNAME%\VM)", R"(E:\Bkp\VM)"),
              R"(cmd /c "XCOPY /I /Y /C /H /K "D:\\"%"USERNAME"%"\VM" "E:\Bkp\VM"")");
}

TEST(Backup, FoldersOverlapByFullPathAndLetterCase) {
    ScopedCodePage cp(Cp1252());
    EXPECT_TRUE(FoldersOverlap(R"(C:\VMs\Alpha)", R"(c:\vms\ALPHA\)"));
    EXPECT_TRUE(FoldersOverlap(R"(C:\VMs\Alpha\Disk)", R"(C:\VMs\Alpha)"));
    EXPECT_TRUE(FoldersOverlap(R"(C:\VMs)", R"(C:\VMs\Alpha)"));
    EXPECT_TRUE(FoldersOverlap("C:\\VMs\\\xC9t\xE9", "C:\\VMs\\\xE9T\xC9"));
    EXPECT_FALSE(FoldersOverlap(R"(C:\VMs\Alpha)", R"(C:\VMs\Alpha2)"));
    EXPECT_FALSE(FoldersOverlap(R"(C:\VMs\Alpha.partial)", R"(C:\VMs\Alpha)"));
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
        EXPECT_EQ(r.In("E:\\Bkp\\WinXP"), r.In("D:\\VMs\\WinXP"));
    }
}

TEST(Backup, SnapshotFormUsesSnapshotAndDeletesnapshot) {
    BackupRig r;
    r.w.entries = {{Xp}};
    r.w.running = {Xp};
    r.w.options.useSnapshot = true;
    // The VM runs on and writes into its snapshot's file during the copy: no size to hold the copy to.
    r.w.files["D:\\VMs\\WinXP\\WinXP-000001.vmdk"] = "delta";
    r.w.onCopy["disk.vmdk"] = [&] { r.w.files["D:\\VMs\\WinXP\\WinXP-000001.vmdk"] = "delta, grown"; };
    EXPECT_EQ(r.Run(), BackupSucceeded);
    const std::string xcopy =
        "cmd /c \"XCOPY /I /Y /C /H /K \"D:\\VMs\\WinXP\" \"E:\\Bkp\\WinXP.tarnwick-partial\"\"";
    EXPECT_EQ(Trace(r.w.trace.begin() + 3, r.w.trace.end()),
              (Trace{"lock:E:\\Bkp\\WinXP.tarnwick-lock", "mkdir:E:\\Bkp\\WinXP.tarnwick-partial",
                     "write:E:\\Bkp\\WinXP.tarnwick-partial\\Tarnwick-backup.mark",
                     "log:    Creating snapshot...", "exec:snapshot " + Xp, "sleep:300", "log:    Copying...",
                     "log:      DosCmd: " + xcopy, "run:" + xcopy + "||wait", "sleep:300",
                     "log:    Committing snapshot...", "exec:deletesnapshot " + Xp, "sleep:300",
                     "log:    Copied 0.0 GB under a snapshot; the VM was not stopped.",
                     "rename:E:\\Bkp\\WinXP.tarnwick-partial>E:\\Bkp\\WinXP", "log:    Done...",
                     "unlock:E:\\Bkp\\WinXP.tarnwick-lock"}));
    EXPECT_EQ(r.In("E:\\Bkp\\WinXP").size(), 3u);

    // A snapshot that failed is not deleted: the name may be an older snapshot of the user's.
    BackupRig failed;
    failed.w.options.useSnapshot = true;
    failed.w.running = {Xp};
    failed.w.options.bkpAll = true;
    failed.w.failingVerbs = {"snapshot " + Xp};
    EXPECT_EQ(failed.Run(), BackupStepFailed);
    EXPECT_EQ(failed.w.Count("exec:deletesnapshot " + Xp), 0u);
    EXPECT_EQ(failed.w.Count("log:    Snapshot failed; the previous copy stays."), 1u);
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
        EXPECT_EQ(r.w.trace[3], c.skipLine ? c.skipLine : "lock:E:\\Bkp\\WinXP.tarnwick-lock");
        EXPECT_EQ(r.w.trace.size(), c.skipLine ? 4u : 21u);
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
        Trace after = c.after;
        after.push_back("unlock:E:\\Bkp\\WinXP.tarnwick-lock"); // the folder is left to others only then
        EXPECT_EQ(Trace(done + 1, r.w.trace.end()), after) << c.entries[1].text;
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
        // Its backup folder would be another VM's staging folder, or the previous copy during a swap.
        {{Xp, "D:\\VMs\\WinXP.TARNWICK-PARTIAL\\x.vmx"},
         "log:    Folder name ends in .TARNWICK-PARTIAL, which the backup keeps for its own work; not backed "
         "up "
         "so that no copy is deleted..."},
        {{"D:\\VMs\\Server.tarnwick-old\\x.vmx"},
         "log:    Folder name ends in .tarnwick-old, which the backup keeps for its own work; not backed up "
         "so "
         "that no copy is deleted..."},
        // A copy the user booted, in another VM's backup folder; and a VM in the target's staging name.
        {{"E:\\Bkp\\WinXP\\Booted\\WinXP.vmx", Xp},
         "log:    The backup folder E:\\Bkp\\WinXP and the folder E:\\Bkp\\WinXP\\Booted of the running VM "
         "E:\\Bkp\\WinXP\\Booted\\WinXP.vmx overlap; not backed up so that no VM file is touched..."},
        {{"E:\\Bkp\\Srv.tarnwick-partial\\In\\x.vmx", "D:\\VMs\\Srv\\Srv.vmx"},
         "log:    The backup folder E:\\Bkp\\Srv.tarnwick-partial and the folder "
         "E:\\Bkp\\Srv.tarnwick-partial\\In of "
         "the running VM E:\\Bkp\\Srv.tarnwick-partial\\In\\x.vmx overlap; not backed up so that no VM file "
         "is "
         "touched..."},
        // A VM booted from a copy that a run put away, which a later run would remove.
        {{"E:\\Bkp\\Srv.tarnwick-put-away-2\\In\\x.vmx", "D:\\VMs\\Srv\\Srv.vmx"},
         "log:    The backup folder E:\\Bkp\\Srv.tarnwick-put-away-2 and the folder "
         "E:\\Bkp\\Srv.tarnwick-put-away-2\\In of the running VM E:\\Bkp\\Srv.tarnwick-put-away-2\\In\\x.vmx "
         "overlap; not backed up so that no VM file is touched..."},
        // A VM that lies inside the target, where its own backup folder would hold it.
        {{"E:\\Bkp\\Inner\\Inner\\x.vmx"},
         "log:    The backup folder E:\\Bkp\\Inner and the VM's own folder E:\\Bkp\\Inner\\Inner overlap; "
         "not "
         "backed up so that no VM file is touched..."},
        {{"E:\\Bkp\\Inner.tarnwick-partial\\Inner\\x.vmx"},
         "log:    The backup folder E:\\Bkp\\Inner.tarnwick-partial and the VM's own folder "
         "E:\\Bkp\\Inner.tarnwick-partial\\Inner overlap; not backed up so that no VM file is touched..."},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.options.bkpAll = true;
        r.w.running = c.running;
        for (const std::string& vm : c.running)
            if (vm.find(":\\") != std::string::npos && vm.find('"') == std::string::npos) r.AddVm(vm);
        const auto vmFiles = r.w.files;
        EXPECT_EQ(r.Run(), BackupStepFailed) << c.line;
        EXPECT_EQ(r.w.trace.back(), c.line);
        EXPECT_EQ(std::count_if(r.w.trace.begin(), r.w.trace.end(),
                                [](const std::string& l) { return l.starts_with("run:"); }),
                  static_cast<long>(c.running.size() - 1));
        for (const auto& [path, bytes] : vmFiles)
            EXPECT_EQ(r.w.files[path], bytes) << path;
    }
}

TEST(Backup, TheTargetIsTakenAsAFullPathSoAVmsOwnFolderIsNeverItsBackup) {
    // "/BKP D:\VMs", and "/BKP ." started in D:\VMs: WinXP's backup folder would be D:\VMs\WinXP itself.
    for (const std::string target : {"D:\\VMs", "."}) {
        BackupRig r;
        r.w.currentDir = "D:\\VMs";
        r.w.directories.insert({"D:\\VMs", "."});
        r.w.running = {Xp};
        r.w.entries = {{Xp}};
        const auto vmFiles = r.In("D:\\VMs\\WinXP");
        EXPECT_EQ(r.Run(target), BackupStepFailed) << target;
        EXPECT_EQ(r.w.Logged(),
                  (Trace{"Backing up all running VMs to D:\\VMs\\...", "  Backing up VM 1/1: " + Xp,
                         "    The backup folder D:\\VMs\\WinXP and the VM's own folder "
                         "D:\\VMs\\WinXP overlap; not backed up so that no VM file is touched..."}))
            << target;
        EXPECT_EQ(r.In("D:\\VMs\\WinXP"), vmFiles);
        EXPECT_EQ(r.w.Count("exec:suspend " + Xp), 0u);
    }
}

TEST(Backup, EveryFailureLeavesThePreviousCopyWholeAndTheVmRunning) {
    const std::string firstPass =
        "cmd /c \"XCOPY /I /Y /C /H /K \"D:\\VMs\\WinXP\" \"E:\\Bkp\\WinXP.tarnwick-partial\"\"";
    const std::string disk = "D:\\VMs\\WinXP\\disk.vmdk";
    const std::string stalledLine = "log:      Ended after 7 seconds without progress: Copy: \"" + disk +
                                    "\" \"E:\\Bkp\\WinXP.tarnwick-partial\\disk.vmdk\"";
    // The guest writes to its disk before it goes down, so the second pass has a file to copy.
    const auto guestWrites = [](FakeWorld& w) {
        w.during["log:    Suspending..."] = [&w] {
            w.files["D:\\VMs\\WinXP\\disk.vmdk"] = std::string(120, 'e');
        };
    };
    struct Case {
        const char* name;
        std::function<void(FakeWorld&)> arrange;
        const char* line; // nullptr: no line of our own
        BackupExitCode code;
        unsigned starts = 1; // of WinXP
    } cases[] = {
        {"a first pass that fails is no failure on its own",
         [&](FakeWorld& w) {
             w.commandResults[firstPass] = {true, 4};
         },
         "log:      XCOPY ended with exit code 4; the second pass copies what is missing.", BackupSucceeded},
        {"a first pass that copies part of a file",
         [&](FakeWorld& w) {
             w.copyLimits["D:\\VMs\\WinXP\\disk.vmdk"] = 10;
             w.during["log:    Suspending..."] = [&w] { w.copyLimits.clear(); };
         },
         nullptr, BackupSucceeded},
        // The stamp rule: a copy is whole only with the source's size and last-write time.
        {"a first pass ended at its limit mid-file, the disk unchanged since",
         [&](FakeWorld& w) {
             w.hangingCommands = {firstPass};
             w.tornByXcopy = {disk};
         },
         "log:    Copying what changed, with the VM suspended (second pass): 1 of 2 files...",
         BackupSucceeded},
        {"a target that keeps times to 2 seconds",
         [&](FakeWorld& w) {
             w.stamps[disk] = 13'000'000;
             w.copyTimeGrain = 20'000'000;
         },
         "log:    Copying what changed, with the VM suspended (second pass): 0 of 2 files...",
         BackupSucceeded},
        {"a torn first pass whose file the second pass cannot copy",
         [&](FakeWorld& w) {
             w.hangingCommands = {firstPass};
             w.tornByXcopy = {disk};
             w.copyResults[disk] = {BackupFolders::CopyEnd::Failed, 32};
         },
         "log:    Copying failed with error 32; the previous copy stays.", BackupStepFailed},
        {"a second-pass copy that reports success but left the file as it was",
         [&](FakeWorld& w) {
             w.during["log:    Suspending..."] = [&w, disk] {
                 w.files[disk] = std::string(100, 'e');
                 w.stamps[disk] = 50'000'000;
             };
             w.copyResults[disk] = {BackupFolders::CopyEnd::Copied, 0};
         },
         "log:    Copy incomplete: disk.vmdk was not copied whole (its last-write time is not the VM's); the "
         "previous copy stays.",
         BackupStepFailed},
        {"first pass not started",
         [&](FakeWorld& w) {
             w.commandResults[firstPass] = {false, 0};
         },
         "log:      (the command could not be started)", BackupStepFailed},
        {"second pass failed",
         [&](FakeWorld& w) {
             guestWrites(w);
             w.copyResults[disk] = {BackupFolders::CopyEnd::Failed, 112};
         },
         "log:    Copying failed with error 112; the previous copy stays.", BackupStepFailed},
        {"a full disk that no copy reports, the copy is short",
         [&](FakeWorld& w) {
             guestWrites(w);
             w.copyLimits["D:\\VMs\\WinXP\\disk.vmdk"] = 64;
         },
         "log:    Copy incomplete: disk.vmdk holds 64 of 120 bytes; the previous copy stays.",
         BackupStepFailed},
        {"the copy of a file new at the suspend fails",
         [&](FakeWorld& w) {
             w.during["log:    Suspending..."] = [&w] { w.files["D:\\VMs\\WinXP\\WinXP.vmss"] = "state"; };
             w.copyResults["D:\\VMs\\WinXP\\WinXP.vmss"] = {BackupFolders::CopyEnd::Failed, 5};
         },
         "log:    Copying failed with error 5; the previous copy stays.", BackupStepFailed},
        // A resume only for what this run suspended.
        {"suspend failed, the VM runs on", [](FakeWorld& w) { w.failingVerbs = {"suspend " + Xp}; },
         "log:    Suspend failed; the previous copy stays.", BackupStepFailed, 0},
        {"suspend failed, someone else suspended the VM",
         [](FakeWorld& w) {
             w.failingVerbs = {"suspend " + Xp};
             w.during["exec:suspend " + Xp] = [&w] { w.running = {Srv}; };
         },
         "log:    The VM no longer runs, and this run did not suspend it; it is left as it is.",
         BackupStepFailed, 0},
        {"suspend ended at the limit, the VM went down",
         [](FakeWorld& w) {
             w.limitVerbs = {"suspend " + Xp};
             w.during["exec:suspend " + Xp] = [&w] { w.running = {Srv}; };
         },
         "log:    Suspend failed; the previous copy stays.", BackupStepFailed},
        {"suspend ended at the limit, the VM runs on", [](FakeWorld& w) { w.limitVerbs = {"suspend " + Xp}; },
         "log:    Suspend failed; the previous copy stays.", BackupStepFailed, 0},
        {"another run holds the folder's lock",
         [](FakeWorld& w) { w.otherRunsLocks["E:\\Bkp\\WinXP.tarnwick-lock"] = "4242"; },
         "log:    Another run (process 4242) backs up into E:\\Bkp\\WinXP and holds its lock "
         "E:\\Bkp\\WinXP.tarnwick-lock; skipped, its folders are left to it.",
         BackupStepFailed, 0},
        {"suspend threw", [](FakeWorld& w) { w.throwingVerbs = {"suspend " + Xp}; },
         "log:    Failed: cannot read the capture file", BackupStepFailed},
        {"resume failed", [](FakeWorld& w) { w.failingVerbs = {"start " + Xp}; }, nullptr, BackupStepFailed},
        {"resume failed once",
         [](FakeWorld& w) {
             w.failingVerbs = {"start " + Xp};
             w.during["log:    Resume failed; trying again..."] = [&w] { w.failingVerbs.clear(); };
         },
         "log:    Resume failed; trying again...", BackupStepFailed},
        {"the previous copy cannot be moved aside", [](FakeWorld& w) { w.stuckFolders = {"E:\\Bkp\\WinXP"}; },
         "log:    The previous copy E:\\Bkp\\WinXP cannot be moved aside; it stays, and the new copy is "
         "dropped.",
         BackupStepFailed},
        {"a second pass that stalls past the limit",
         [&](FakeWorld& w) {
             guestWrites(w);
             w.options.toolTimeout = "7";
             w.copyResults[disk] = {BackupFolders::CopyEnd::Stalled, 0};
         },
         stalledLine.c_str(), BackupStepFailed},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.options.bkpAll = true;
        r.w.running = {Xp, Srv};
        r.w.files["E:\\Bkp\\WinXP\\WinXP.vmx"] = "the previous copy";
        r.w.files["E:\\Bkp\\WinXP\\disk.vmdk"] = "its disk";
        r.w.directories.insert("E:\\Bkp\\WinXP");
        c.arrange(r.w);
        EXPECT_EQ(r.Run(), c.code) << c.name;
        if (c.line) {
            EXPECT_GE(r.w.Count(c.line), 1u) << c.name;
        }
        // The VM runs again; the next VM is still backed up.
        const std::string name = c.name;
        EXPECT_EQ(r.w.Count("exec:start " + Xp), name == "resume failed"        ? 3u
                                                 : name == "resume failed once" ? 2u
                                                                                : c.starts)
            << c.name;
        EXPECT_EQ(r.w.Count("exec:suspend " + Xp), name.starts_with("another run") ? 0u : 1u) << c.name;
        EXPECT_EQ(r.w.Count("exec:start " + Srv), 1u) << c.name;
        EXPECT_EQ(r.In("E:\\Bkp\\Server"), r.In("D:\\VMs\\Server")) << c.name;
        EXPECT_FALSE(r.w.DirectoryExists("E:\\Bkp\\WinXP.tarnwick-partial")) << c.name;
        EXPECT_FALSE(r.w.DirectoryExists("E:\\Bkp\\WinXP.tarnwick-old")) << c.name;
        // The second pass copies whole what the first did not: the run fails, the copy is good.
        if (c.code == BackupSucceeded || name.starts_with("resume failed") ||
            name == "first pass not started") {
            EXPECT_EQ(r.In("E:\\Bkp\\WinXP"), r.In("D:\\VMs\\WinXP")) << c.name;
        } else {
            EXPECT_EQ(r.In("E:\\Bkp\\WinXP"),
                      (std::map<std::string, std::string>{{"WinXP.vmx", "the previous copy"},
                                                          {"disk.vmdk", "its disk"}}))
                << c.name;
        }
    }
}

TEST(Backup, NoRunningVmIsSuccessAndAFailedListingIsNot) {
    BackupRig r;
    EXPECT_EQ(r.Run(), BackupSucceeded);
    EXPECT_EQ(r.w.trace, (Trace{"log:Backing up all running VMs to E:\\Bkp\\...", "list-running"}));

    BackupRig failed;
    failed.w.listingFails = true;
    EXPECT_EQ(failed.Run(), BackupStepFailed);
    EXPECT_EQ(failed.w.trace, (Trace{"log:Backing up all running VMs to E:\\Bkp\\...", "list-running",
                                     "log:The running VMs could not be listed; nothing was backed up."}));
}

TEST(Backup, TheSecondPassCopiesWhatChangedAndTheCopyMatchesTheSuspendedVm) {
    BackupRig r;
    r.w.entries = {{Xp}};
    r.w.running = {Xp};
    const std::string f = "D:\\VMs\\WinXP\\";
    for (const char* disk : {"s001.vmdk", "s002.vmdk", "s003.vmdk", "gone.log"})
        r.w.files[f + disk] = "first";
    // s001 changes while the first pass copies another file; s002 only gets a newer stamp; s003 changes
    // between the passes; gone.log goes; the suspend writes the memory file.
    r.w.onCopy["s003.vmdk"] = [&] { r.w.files[f + "s001.vmdk"] = "during"; };
    r.w.during["log:    Suspending..."] = [&] {
        r.w.stamps[f + "s002.vmdk"] = 7;
        r.w.files[f + "s003.vmdk"] = "between";
        r.w.files.erase(f + "gone.log");
        r.w.files[f + "WinXP.vmss"] = "memory";
    };
    // Disks of 20 and 3 GB; the suspend takes 40 s, and the VM is down from its start to the resume's end.
    r.w.extraBytes[f + "disk.vmdk"] = uint64_t{20} << 30;
    r.w.extraBytes[f + "s003.vmdk"] = uint64_t{3} << 30;
    r.w.during["exec:suspend " + Xp] = [&] { r.w.clockMs += 40000; };
    EXPECT_EQ(r.Run(), BackupSucceeded);
    const std::string vm = "Tarnwick backup: VM 1 of 1, WinXP",
                      pass2 = vm + ", suspended, copying what changed ";
    EXPECT_EQ(r.w.tips,
              (std::vector<std::string>{"Tarnwick backup", vm, vm + ", first pass 0% (0.0 of 23.0 GB)",
                                        vm + ", first pass 100% (23.0 of 23.0 GB)", vm + ", suspending",
                                        pass2 + "(0.0 of 3.0 GB)", pass2 + "(1.5 of 3.0 GB)",
                                        pass2 + "(3.0 of 3.0 GB)", vm + ", resuming", vm + ", done"}));
    EXPECT_EQ(
        r.w.Count("log:    Copied 23.0 GB while running, 3.0 GB while suspended; the VM was down 41 s."), 1u);
    // One line and one copy for each file, in this process.
    Trace copies;
    for (const char* name : {"WinXP.vmss", "s001.vmdk", "s002.vmdk", "s003.vmdk"}) {
        const std::string from = f + name, to = "E:\\Bkp\\WinXP.tarnwick-partial\\" + std::string(name);
        copies.push_back("log:      Copy: \"" + from + "\" \"" + to + "\"");
        copies.push_back("copy:" + from + ">" + to);
    }
    const auto second =
        std::find(r.w.trace.begin(), r.w.trace.end(),
                  "log:    Copying what changed, with the VM suspended (second pass): 4 of 6 files...");
    ASSERT_NE(second, r.w.trace.end());
    EXPECT_EQ(Trace(second + 1, second + 9), copies);
    EXPECT_EQ(second[9], "sleep:300");
    EXPECT_EQ(r.w.deleted, (std::vector<std::string>{"E:\\Bkp\\WinXP.tarnwick-partial\\gone.log",
                                                     "E:\\Bkp\\WinXP\\Tarnwick-backup.mark"}));
    EXPECT_EQ(r.In("E:\\Bkp\\WinXP"), r.In("D:\\VMs\\WinXP"));
    EXPECT_EQ(r.In("E:\\Bkp\\WinXP")["s003.vmdk"], "between");
}

// The run's tray tip and its per-VM log line, with the byte figures in GB of 2^30 bytes, one decimal. The
// texts of the other steps show in TheSecondPassCopiesWhatChanged...
TEST(Backup, ProgressTextsAndFigures) {
    constexpr uint64_t GB = uint64_t{1} << 30;
    using S = BackupStage;
    const std::string alpha = "Tarnwick backup: VM 2 of 5, Alpha";
    const struct Case {
        BackupStage stage;
        uint64_t done, size;
        std::string text;
    } cases[] = {
        // 13 000 000 000 of 28 GB: 43.2 %, shown whole and rounded down.
        {S::FirstPass, 13000000000, 28 * GB, alpha + ", first pass 43% (12.1 of 28.0 GB)"},
        {S::SecondPass, GB * 12 / 10 + 1, GB * 34 / 10 + 1,
         alpha + ", suspended, copying what changed (1.2 of 3.4 GB)"},
        {S::Resuming, 0, 0, alpha + ", resuming"},
        {S::UnderSnapshot, GB / 20 + 1, GB / 10 + 1,
         alpha + ", copying under a snapshot 50% (0.1 of 0.1 GB)"},
        {S::Committing, 0, 0, alpha + ", deleting the snapshot"},
        // Tenths round half up; just below a half rounds down.
        {S::FirstPass, GB / 20 - 1, 1023 * GB + GB * 95 / 100 + 1,
         alpha + ", first pass 0% (0.0 of 1024.0 GB)"},
        // A folder that grew during the copy, and an empty one, count as whole.
        {S::FirstPass, 3 * GB, 2 * GB, alpha + ", first pass 100% (3.0 of 2.0 GB)"},
        {S::FirstPass, 0, 0, alpha + ", first pass 100% (0.0 of 0.0 GB)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressText(BackupPlace{c.stage, 2, 5, "Alpha", c.done, c.size}), c.text);
    EXPECT_EQ(ProgressText(BackupPlace{}), "Tarnwick backup");
    EXPECT_EQ(GigabytesText(~uint64_t{0}), "17179869184.0");
    // A name too long for a tip gives way to the figures.
    const std::string tip =
        ProgressText(BackupPlace{S::SecondPass, 12, 12, std::string(200, 'n'), GB, 2 * GB});
    EXPECT_EQ(tip, "Tarnwick backup: VM 12 of 12, " + std::string(45, 'n') +
                       "..., suspended, copying what changed (1.0 of 2.0 GB)");
    EXPECT_EQ(tip.size(), 127u);
    // The run's scenarios show the line of a VM that was resumed.
    EXPECT_EQ(CopiedLine(CopyTally{GB, 0, 5000, 0, false}),
              "    Copied 1.0 GB while running, 0.0 GB while suspended; the VM was not resumed.");
}

// Only folders holding the marker are the run's to rename or remove; a user's folder in the copy survives.
TEST(Backup, OnlyMarkedLeftoversAreClearedAndTheUsersFoldersSurvive) {
    const std::string old = "E:\\Bkp\\WinXP.tarnwick-old", partial = "E:\\Bkp\\WinXP.tarnwick-partial";
    struct Case {
        std::vector<std::string> left; // folders of E:\Bkp, each with a file; "*": marked
        Trace lines;                   // what follows the status line
        BackupExitCode code = BackupSucceeded;
        std::string held = ""; // a file held open
    } cases[] = {
        {{"WinXP", "WinXP.tarnwick-partial*"},
         {"log:    Removing the unfinished copy that an interrupted run left in " + partial + "...",
          "rmdir:" + partial}},
        // Cut short between the two renames: the previous copy goes back, the new one is not trusted.
        {{"WinXP.tarnwick-old*", "WinXP.tarnwick-partial*"},
         {"log:    Putting back the previous copy that an interrupted run left in " + old + "...",
          "rename:" + old + ">E:\\Bkp\\WinXP",
          "log:    Removing the unfinished copy that an interrupted run left in " + partial + "...",
          "rmdir:" + partial}},
        // Cut short before the previous copy was removed: the user's folder in it still goes to the copy.
        {{"WinXP", "WinXP.tarnwick-old*", "WinXP.tarnwick-old\\keep"},
         {"log:    Removing an older copy that an interrupted run left in " + old + "...",
          "rename:" + old + "\\keep>E:\\Bkp\\WinXP\\keep", "rmdir:" + old}},
        // A held file keeps the older copy from going; it moves out of the way, marked, till a later run.
        {{"WinXP", "WinXP.tarnwick-old*"},
         {"log:    Removing an older copy that an interrupted run left in " + old + "...", "rmdir:" + old,
          "write:" + old + "\\Tarnwick-backup.mark", "rename:" + old + ">E:\\Bkp\\WinXP.tarnwick-put-away-2",
          "log:    " + old +
              " cannot be removed now (a file in it is open); moved to E:\\Bkp\\WinXP.tarnwick-put-away-2, "
              "which a later run removes.",
          "mkdir:" + partial},
         BackupSucceeded,
         old + "\\WinXP.vmx"},
        {{"WinXP", "WinXP.tarnwick-put-away-3*"},
         {"rmdir:E:\\Bkp\\WinXP.tarnwick-put-away-3", "mkdir:" + partial}},
        // Our names without the marker: the user's, left alone, and the VM is not copied.
        {{"WinXP.tarnwick-partial"},
         {"log:    " + partial +
          " holds no marker of this program, so it is left as it is; the VM is not backed up."},
         BackupStepFailed},
        {{"WinXP", "WinXP.tarnwick-old"},
         {"log:    " + old +
          " holds no marker of this program, so it is left as it is; the VM is not backed up."},
         BackupStepFailed},
        // The names earlier versions used are a user's folders like any other, never put back.
        {{"WinXP.old", "WinXP.partial*"},
         {"log:    Leaving E:\\Bkp\\WinXP.partial as it is: this program did not make it.",
          "log:    Leaving E:\\Bkp\\WinXP.old as it is: this program did not make it.", "mkdir:" + partial}},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.entries = {{Xp}};
        r.w.running = {Xp};
        // The previous copy holds a user's folder, which outlives every swap.
        const bool copied = std::find(c.left.begin(), c.left.end(), "WinXP") != c.left.end();
        if (copied) {
            r.w.directories.insert("E:\\Bkp\\WinXP\\mine");
            r.w.files["E:\\Bkp\\WinXP\\mine\\note.txt"] = "the user's";
        }
        for (std::string folder : c.left) {
            const bool marked = folder.ends_with('*');
            if (marked) folder.pop_back();
            r.w.directories.insert("E:\\Bkp\\" + folder);
            r.w.files["E:\\Bkp\\" + folder + "\\WinXP.vmx"] = folder;
            if (marked) r.w.files["E:\\Bkp\\" + folder + "\\Tarnwick-backup.mark"] = "x";
        }
        if (!c.held.empty()) r.w.heldFiles = {c.held};
        std::map<std::string, std::string> untouched;
        for (const auto& [path, bytes] : r.w.files)
            if (!path.starts_with("E:\\Bkp\\WinXP\\") && path.find(".tarnwick-") == std::string::npos)
                untouched[path] = bytes;
        const bool foreignOld = std::find(c.left.begin(), c.left.end(), "WinXP.tarnwick-old") != c.left.end();
        EXPECT_EQ(r.Run(), c.code) << c.left[0];
        EXPECT_EQ(Trace(r.w.trace.begin() + 4, r.w.trace.begin() + 4 + static_cast<long>(c.lines.size())),
                  c.lines);
        for (const auto& [path, bytes] : untouched)
            EXPECT_EQ(r.w.files[path], bytes) << path;
        EXPECT_FALSE(r.w.DirectoryExists(partial) && c.code == BackupSucceeded);
        EXPECT_EQ(r.w.DirectoryExists(old), foreignOld);
        EXPECT_EQ(r.w.FileExists("E:\\Bkp\\WinXP.tarnwick-put-away-2\\Tarnwick-backup.mark"),
                  !c.held.empty());
        EXPECT_FALSE(r.w.DirectoryExists("E:\\Bkp\\WinXP.tarnwick-put-away-3"));
        if (c.code != BackupSucceeded) continue;
        auto expected = r.In("D:\\VMs\\WinXP");
        if (copied) expected["mine\\note.txt"] = "the user's";
        if (c.left.size() > 2) expected["keep\\WinXP.vmx"] = "WinXP.tarnwick-old\\keep";
        EXPECT_EQ(r.In("E:\\Bkp\\WinXP"), expected) << c.left[0];
    }
}

// Each folder of E:\Bkp named for WinXP, with what its WinXP.vmx holds.
TEST(Backup, OlderGenerationsMoveUpAndOnlyThoseBeyondTheCountGoLast) {
    using Folders = std::map<std::string, std::string>;
    struct Case {
        const char* keep;
        std::set<std::string> stuck;
        Folders after;
        BackupExitCode code = BackupSucceeded;
    } cases[] = {
        {"3", {}, {{"WinXP", "config.version = 8"}, {"WinXP.tarnwick-2", "c1"}, {"WinXP.tarnwick-3", "c2"}}},
        {"2", {}, {{"WinXP", "config.version = 8"}, {"WinXP.tarnwick-2", "c1"}}},
        // Fewer than before: the older ones go.
        {"1", {}, {{"WinXP", "config.version = 8"}}},
        // A failure on the way keeps every generation; the next run puts the set-aside copy in its place.
        {"3",
         {"E:\\Bkp\\WinXP.tarnwick-2"},
         {{"WinXP", "config.version = 8"},
          {"WinXP.tarnwick-old", "c1"},
          {"WinXP.tarnwick-2", "c2"},
          {"WinXP.tarnwick-4", "c3"}},
         BackupStepFailed},
    };
    for (const auto& c : cases) {
        BackupRig r;
        r.w.entries = {{Xp}};
        r.w.running = {Xp};
        r.w.options.backupKeep = c.keep;
        r.w.stuckFolders = c.stuck;
        for (const auto& [folder, vmx] :
             Folders{{"WinXP", "c1"}, {"WinXP.tarnwick-2", "c2"}, {"WinXP.tarnwick-3", "c3"}}) {
            r.w.directories.insert("E:\\Bkp\\" + folder);
            r.w.files["E:\\Bkp\\" + folder + "\\WinXP.vmx"] = vmx;
            if (folder != "WinXP") r.w.files["E:\\Bkp\\" + folder + "\\Tarnwick-backup.mark"] = "";
        }
        EXPECT_EQ(r.Run(), c.code) << c.keep;
        Folders after;
        for (const std::string& d : r.w.directories)
            if (d.starts_with("E:\\Bkp\\WinXP")) after[d.substr(7)] = r.w.files[d + "\\WinXP.vmx"];
        EXPECT_EQ(after, c.after) << c.keep;
        EXPECT_FALSE(r.w.FileExists("E:\\Bkp\\WinXP\\Tarnwick-backup.mark"));
    }
}

// A log that throws for a while, as a log held by another program does.
struct HeldLog : Reporter {
    explicit HeldLog(FakeWorld& w) : w_(w) {}
    void WriteLog(const std::string& msg) override {
        if (held) throw IoError("the log is held");
        w_.WriteLog(msg);
        if (msg == holdAfter) {
            held = true;
            holdAfter.clear();
        }
    }
    void ShowStatus(const std::string& msg) override {
        if (held) throw IoError("the log is held");
        w_.ShowStatus(msg);
    }
    FakeWorld& w_;
    std::string holdAfter;
    bool held = false;
};

TEST(Backup, ALogThatCannotBeWrittenNeitherStopsTheRunNorLeavesTheVmSuspended) {
    BackupRig r;
    HeldLog held(r.w);
    BackupLog log(held);
    BackupServices services{r.w, r.w.options, r.w, log, r.w, r.w, r.w, r.w, r.w};
    r.w.options.bkpAll = true;
    r.w.running = {Xp, Srv};
    held.holdAfter = "    Suspending...";
    // Released again once the first VM is resumed.
    r.w.during["exec:start " + Xp] = [&] { held.held = false; };
    EXPECT_EQ(BackupRunningVms("E:\\Bkp", services), BackupStepFailed);
    EXPECT_EQ(log.LostLines(), 2u);
    EXPECT_EQ(r.w.Count("exec:start " + Xp), 1u);
    EXPECT_EQ(r.In("E:\\Bkp\\WinXP"), r.In("D:\\VMs\\WinXP"));
    EXPECT_EQ(r.In("E:\\Bkp\\Server"), r.In("D:\\VMs\\Server"));
    const Trace logged = r.w.Logged();
    const auto note = std::find(logged.begin(), logged.end(),
                                "    (2 lines of this backup could not be written to the log)");
    ASSERT_NE(note, logged.end());
    EXPECT_EQ(*(note - 1), "    Suspending...");
    EXPECT_EQ(*(note + 1), "    Copied 0.0 GB while running, 0.0 GB while suspended; the VM was down 1 s.");

    // A log that never comes back: every step is taken all the same.
    BackupRig never;
    HeldLog gone(never.w);
    gone.held = true;
    BackupLog lost(gone);
    BackupServices quiet{never.w, never.w.options, never.w, lost,   never.w,
                         never.w, never.w,         never.w, never.w};
    never.w.options.bkpAll = true;
    never.w.running = {Xp};
    EXPECT_EQ(BackupRunningVms("E:\\Bkp", quiet), BackupStepFailed);
    EXPECT_TRUE(never.w.Logged().empty());
    EXPECT_EQ(never.w.Count("exec:start " + Xp), 1u);
    EXPECT_EQ(never.In("E:\\Bkp\\WinXP"), never.In("D:\\VMs\\WinXP"));
}

// XCOPY by the bytes in the staging folder; a single-file copy by its own progress, within the same limit.
TEST(Backup, CopiesAreBoundedByTheirProgress) {
    BackupRig r;
    r.w.options.bkpAll = true;
    r.w.options.toolTimeout = "$0A";
    r.w.running = {Xp};
    r.w.files["E:\\Bkp\\WinXP\\WinXP.vmdk"] = std::string(100, 'x'); // the previous copy, not measured
    r.w.files["E:\\Bkp\\WinXPx\\a.vmdk"] = "another VM's folder";
    // The guest writes to its disk before it goes down, so the second pass has a file to copy.
    r.w.during["log:    Suspending..."] = [&] {
        r.w.files["D:\\VMs\\WinXP\\disk.vmdk"] = std::string(120, 'e');
    };
    EXPECT_EQ(r.Run(), BackupSucceeded);
    ASSERT_EQ(r.w.runLimits.size(), 1u);
    EXPECT_EQ(r.w.runLimits[0].seconds, 10u);
    EXPECT_TRUE(r.w.runLimits[0].progressBound);
    EXPECT_EQ(r.w.runLimits[0].progressAtStart, 56u); // the staging folder holds only its marker
    EXPECT_EQ(r.w.copyStallSeconds, std::vector<uint32_t>{10u});

    // Without a usable ToolTimeout the default holds.
    for (const char* stored : {"0", "-5", "soon", ""}) {
        BackupRig d;
        d.w.options.bkpAll = true;
        d.w.options.toolTimeout = stored;
        d.w.running = {Xp};
        d.Run();
        ASSERT_EQ(d.w.runLimits.size(), 1u);
        EXPECT_EQ(d.w.runLimits[0].seconds, 300u) << stored;
    }
}

} // namespace
