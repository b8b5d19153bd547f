// /BKP <dir>: which VMs are copied, with which tool verbs and commands, and the exit code for schedulers.
#include "driver.h"
#include "vmware_fixture.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <map>

using namespace e2e;

namespace {

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string n = fd.cFileName;
        if (n != "." && n != "..")
            names.push_back(n + ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

// A folder's top-level files with their bytes.
std::map<std::string, std::string> Contents(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : FilesIn(dir))
        if (!name.ends_with("\\")) files[name] = ReadFileBytes(dir + name);
    return files;
}

// Log lines with a VM's downtime, which no two runs share, written as N.
std::vector<std::string> WithoutDowntimes(std::vector<std::string> lines) {
    const std::string down = "; the VM was down ";
    for (std::string& line : lines)
        if (const size_t at = line.find(down); at != std::string::npos)
            line = line.substr(0, at) + down + "N s.";
    return lines;
}

// Freezes every thread of root's descendants of this executable name, as a copy stuck on a slow disk
// is: it stays, makes no progress, and ends only when killed. Only the run's own children, so that no
// other test's program is touched.
int FreezeProcesses(DWORD root, const char* exe) {
    std::map<DWORD, DWORD> parents;
    std::vector<DWORD> named, ids;
    HANDLE procs = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(procs, &pe); more; more = Process32Next(procs, &pe)) {
        parents[pe.th32ProcessID] = pe.th32ParentProcessID;
        if (_stricmp(pe.szExeFile, exe) == 0) named.push_back(pe.th32ProcessID);
    }
    CloseHandle(procs);
    for (const DWORD id : named)
        for (DWORD at = id, hops = 0; parents.contains(at) && hops < 16; at = parents[at], ++hops)
            if (parents[at] == root) {
                ids.push_back(id);
                break;
            }
    int frozen = 0;
    HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    for (BOOL more = Thread32First(threads, &te); more; more = Thread32Next(threads, &te)) {
        if (std::find(ids.begin(), ids.end(), te.th32OwnerProcessID) == ids.end()) continue;
        if (HANDLE t = OpenThread(THREAD_SUSPEND_RESUME, FALSE, te.th32ThreadID)) {
            if (SuspendThread(t) != DWORD(-1)) ++frozen;
            CloseHandle(t);
        }
    }
    CloseHandle(threads);
    return frozen;
}

struct BackupLab {
    Workspace ws;
    VmwareInstall vmware{ws.Dir()};
    std::string alpha = vmware.MakeVm("Alpha", "Alpha");
    std::string beta = vmware.MakeVm("Beta Web", "Beta Web");
    std::string gamma = vmware.MakeVm("R&D Lab", "R&D Lab");
    std::string target = ws.Dir() + "Backups";
    std::string tmp = ws.Dir() + "Tarnwick.tmp";
    std::string vmrun = vmware.InstallDir() + "vmrun.exe";

    BackupLab() {
        CreateDirectoryA(target.c_str(), nullptr);
        // A subfolder of a VM is not part of its backup.
        CreateDirectoryA((ws.Dir() + "VMs\\Alpha\\Alpha.vmx.lck").c_str(), nullptr);
        WriteFileBytes(ws.Dir() + "VMs\\Alpha\\Alpha.vmx.lck\\lock", "x");
        for (const std::string& vm : {alpha, beta, gamma})
            vmware.Ctl("set-state \"" + vm + "\" running");
    }
    // more: further [Options] lines.
    void Configure(bool all, bool snapshot, int toolTimeout = 0, const std::string& more = "") {
        const std::string limit =
            (toolTimeout ? "  ToolTimeout = " + std::to_string(toolTimeout) + "\r\n" : std::string()) + more;
        WriteFileBytes(ws.Dir() + "Tarnwick.ini",
                       std::string("[Options]\r\n  BkpAll = ") + (all ? "-1" : "0") + "\r\n  UseSnapshot = " +
                           (snapshot ? "-1" : "0") + "\r\n" + limit + "[Control]\r\n  " + alpha +
                           " = -1\r\n  DELAY:1 = 0\r\n  " + beta + " = 0\r\n  PROMPT: = -1\r\n");
    }
    // Runs a backup to dir and returns the exit code.
    // box: the text of a message box the run is expected to show, which is then answered.
    std::optional<DWORD> Run(const std::string& dir, const std::string& currentDir = "",
                             const std::string& box = "") {
        Process p("\"" + ws.Exe() + "\" /BKP \"" + dir + "\"", false, "", currentDir);
        if (!box.empty()) {
            HWND shown = WaitWindow(p.Id(), "#32770", "Tarnwick");
            EXPECT_TRUE(shown) << "no box: " << box;
            if (shown) {
                EXPECT_EQ(MessageBoxText(shown), box);
                ClickButton(shown, "OK");
            }
        }
        return WaitExitClosingNotice(p);
    }
    std::string Folder(const std::string& vmx) const { return vmx.substr(0, vmx.find_last_of('\\') + 1); }
    bool Staged(const std::string& name) const {
        return FileExists(target + "\\" + name + ".tarnwick-partial") ||
               FileExists(target + "\\" + name + ".tarnwick-old");
    }
    std::string DosCmd(const std::string& verb, const std::string& vm, const std::string& extra = "") const {
        return "      DosCmd: cmd /c \"\"" + vmrun + "\" " + verb + " \"" + vm + "\"" + extra + " > \"" +
               tmp + "\"\"";
    }
};

} // namespace

TEST(Backup, ListedEnabledVmIsSuspendedCopiedAndResumed) {
    BackupLab lab;
    lab.Configure(false, false);
    const auto code = lab.Run(lab.target);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
    const std::vector<std::vector<std::string>> calls = {
        {"vmrun", "list"}, {"vmrun", "suspend", lab.alpha}, {"vmrun", "start", lab.alpha}};
    EXPECT_EQ(lab.vmware.Calls(), calls);
    EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
    EXPECT_EQ(FilesIn(lab.target + "\\"), std::vector<std::string>{"Alpha\\"});
    EXPECT_EQ(FilesIn(lab.target + "\\Alpha\\"),
              (std::vector<std::string>{"Alpha.vmdk", "Alpha.vmx", "nvram"}));

    const std::string d = lab.target + "\\";
    const std::string f = lab.ws.Dir() + "VMs\\Alpha";
    auto lines = WithoutDowntimes(LogMessages(lab.ws.Log()));
    ASSERT_GE(lines.size(), 3u);
    const std::vector<std::string> want = {
        "Backing up all running VMs to " + d + "...",
        "      DosCmd: cmd /c \"\"" + lab.vmrun + "\" list > \"" + lab.tmp + "\"\"",
        "  Backing up VM 1/3: " + lab.alpha,
        "    Copying while the VM runs (first pass)...",
        "      DosCmd: cmd /c \"XCOPY /I /Y /C /H /K \"" + f + "\" \"" + d + "Alpha.tarnwick-partial\"\"",
        "    Suspending...",
        lab.DosCmd("suspend", lab.alpha),
        "    Copying what changed, with the VM suspended (second pass): 0 of 3 files...",
        "    Resuming...",
        lab.DosCmd("start", lab.alpha),
        "    Copied 0.0 GB while running, 0.0 GB while suspended; the VM was down N s.",
        "    Done...",
        "   Sleeping for 1 seconds...",
        "  Backing up VM 2/3: " + lab.beta,
        "    Disabled in control list; skipping...",
        "  Backing up VM 3/3: " + lab.gamma,
        "    Not in control list; skipping...",
        "Tarnwick Terminated."};
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), want);

    // The same target written with its trailing backslash gives the same commands.
    const std::string first = lab.ws.Log();
    DeleteFileA(lab.ws.LogPath().c_str());
    lab.vmware.Ctl("clear-journal");
    ASSERT_EQ(lab.Run(lab.target + "\\"), 0u);
    lines = WithoutDowntimes(LogMessages(lab.ws.Log()));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), want);
    EXPECT_EQ(Contents(lab.target + "\\Alpha\\"), Contents(lab.Folder(lab.alpha)));
    EXPECT_EQ(FilesIn(lab.target + "\\"), std::vector<std::string>{"Alpha\\"});
}

TEST(Backup, AllRunningWithSnapshotsNeverSuspends) {
    BackupLab lab;
    lab.Configure(true, true);
    ASSERT_EQ(lab.Run(lab.target), 0u) << lab.ws.Log();
    const std::vector<std::vector<std::string>> calls = {
        {"vmrun", "list"},
        {"vmrun", "snapshot", lab.alpha, "Tarnwick_Backup"},
        {"vmrun", "deletesnapshot", lab.alpha, "Tarnwick_Backup"},
        {"vmrun", "snapshot", lab.gamma, "Tarnwick_Backup"},
        {"vmrun", "deletesnapshot", lab.gamma, "Tarnwick_Backup"}};
    EXPECT_EQ(lab.vmware.Calls(), calls);
    for (const std::string& vm : {lab.alpha, lab.beta, lab.gamma})
        EXPECT_EQ(lab.vmware.State(vm), "running");
    EXPECT_EQ(FilesIn(lab.target + "\\"), (std::vector<std::string>{"Alpha\\", "R&D Lab\\"}));
    const std::string log = lab.ws.Log();
    EXPECT_NE(log.find(" - " + lab.DosCmd("snapshot", lab.alpha, " Tarnwick_Backup") + "\r\n"),
              std::string::npos);
    EXPECT_NE(log.find(" -     Committing snapshot...\r\n"), std::string::npos);
    EXPECT_NE(log.find(" -     Disabled in control list; skipping...\r\n"), std::string::npos);
}

TEST(Backup, MissingTargetSaysSoLogsNothingGivesANoticeAndEndsWithTwo) {
    BackupLab lab;
    lab.Configure(true, false);
    Process p("\"" + lab.ws.Exe() + "\" /BKP \"" + lab.ws.Dir() + "nowhere\"", false);
    HWND box = WaitWindow(p.Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), "ERROR: target Directory does not exist: " + lab.ws.Dir() + "nowhere");
    ClickButton(box, "OK");
    // A scheduled run's failure is seen on the desktop: a notice over an icon of the run's own, which
    // stays for as long as the notice shows and then goes with the program.
    const std::string notice =
        "The backup did not run: the target folder does not exist or was not given. Click to see the log.";
    EXPECT_TRUE(WaitFor([&] { return CountTrayTips(notice) == 1; }, 10s));
    EXPECT_TRUE(p.Running());
    const auto code = p.WaitExit(30s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 2u);
    const auto lines = LogMessages(lab.ws.Log());
    ASSERT_EQ(lines.size(), 2u) << lab.ws.Log();
    EXPECT_TRUE(lab.vmware.Journal().empty());
}

TEST(Backup, ClashingFolderNamesNeverDestroyAFreshCopy) {
    BackupLab lab;
    lab.Configure(true, false);
    // Another VM whose folder is also called "Alpha", one at a drive root, and two whose folders are one
    // name in code page 1252: Été and éTÉ.
    CreateDirectoryA((lab.ws.Dir() + "Other").c_str(), nullptr);
    const std::string twin = lab.vmware.MakeVm("..\\Other\\Alpha", "Twin");
    const std::string summer = lab.vmware.MakeVm("\xC9t\xE9", "Summer");
    const std::string summerTwin = lab.vmware.MakeVm("..\\Other\\\xE9T\xC9", "Ete");
    for (const std::string& vm : {twin, summer, summerTwin})
        lab.vmware.Ctl("set-state \"" + vm + "\" running");
    lab.vmware.Ctl("set-state \"C:\\root.vmx\" running");
    const auto code = lab.Run(lab.target);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 1u) << "a VM that was not copied must show in the exit code";
    // The first copies are whole; the twins were not copied over them or in them.
    EXPECT_EQ(FilesIn(lab.target + "\\Alpha\\"),
              (std::vector<std::string>{"Alpha.vmdk", "Alpha.vmx", "nvram"}));
    const std::string summerCopy = lab.target + "\\\xC9t\xE9\\";
    EXPECT_EQ(FilesIn(summerCopy), (std::vector<std::string>{"Summer.vmdk", "Summer.vmx", "nvram"}));
    for (const char* file : {"Summer.vmdk", "Summer.vmx", "nvram"})
        EXPECT_EQ(ReadFileBytes(summerCopy + file), ReadFileBytes(lab.ws.Dir() + "VMs\\\xC9t\xE9\\" + file))
            << file;
    const std::string log = lab.ws.Log();
    EXPECT_NE(log.find("Folder name clash"), std::string::npos) << log;
    EXPECT_NE(log.find(" -     Folder name clash: " + summer + " was backed up into " + lab.target +
                       "\\\xE9T\xC9 in this run; skipping " + summerTwin + " so that its copy stays...\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("No usable folder name"), std::string::npos) << log;
    for (const auto& call : lab.vmware.Calls()) {
        ASSERT_GE(call.size(), 2u);
        if (call.size() > 2) {
            EXPECT_NE(call[2], twin) << "the clashing VM was touched";
            EXPECT_NE(call[2], summerTwin) << "the VM clashing in another letter case was touched";
            EXPECT_NE(call[2], "C:\\root.vmx") << "the VM at a drive root was touched";
        }
    }
}

TEST(Backup, TheUsersOwnFoldersSurviveAndAVmInAnOldFolderIsBackedUp) {
    BackupLab lab;
    lab.Configure(true, false);
    const std::string betaOld = lab.vmware.MakeVm("Beta.old", "Beta");
    lab.vmware.Ctl("set-state \"" + betaOld + "\" running");
    // An older copy kept by hand under the name users give it, and notes kept in the copy's folder.
    const std::string mine = lab.target + "\\Alpha.old\\", keep = lab.target + "\\Alpha\\keep\\";
    CreateDirectoryA(mine.c_str(), nullptr);
    WriteFileBytes(mine + "Alpha.vmdk", "the user's own older copy");
    CreateDirectoryA((lab.target + "\\Alpha").c_str(), nullptr);
    CreateDirectoryA(keep.c_str(), nullptr);
    WriteFileBytes(keep + "note.txt", "the user's note");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        DeleteFileA(lab.ws.LogPath().c_str());
        lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" Alpha.vmdk 0 run-" + std::to_string(run));
        ASSERT_EQ(lab.Run(lab.target), std::optional<DWORD>(0u)) << lab.ws.Log();
        EXPECT_EQ(Contents(mine),
                  (std::map<std::string, std::string>{{"Alpha.vmdk", "the user's own older copy"}}));
        EXPECT_EQ(FilesIn(keep), std::vector<std::string>{"note.txt"});
        EXPECT_EQ(ReadFileBytes(keep + "note.txt"), "the user's note");
        EXPECT_EQ(Contents(lab.target + "\\Alpha\\"), Contents(lab.Folder(lab.alpha)));
        EXPECT_EQ(Contents(lab.target + "\\Beta.old\\"), Contents(lab.Folder(betaOld)));
        EXPECT_EQ(FilesIn(lab.target + "\\"),
                  (std::vector<std::string>{"Alpha.old\\", "Alpha\\", "Beta.old\\", "R&D Lab\\"}));
        const std::string log = lab.ws.Log();
        EXPECT_EQ(log.find(lab.target + "\\Alpha.old"), log.rfind(lab.target + "\\Alpha.old")) << log;
        EXPECT_NE(log.find(" -     Leaving " + lab.target +
                           "\\Alpha.old as it is: this program did not make it.\r\n"),
                  std::string::npos)
            << log;
    }
}

TEST(Backup, EveryFailureLeavesThePreviousCopyWholeAndTheVmRunning) {
    BackupLab lab;
    lab.Configure(false, false);
    ASSERT_EQ(lab.Run(lab.target), 0u) << lab.ws.Log();
    const std::string copy = lab.target + "\\Alpha\\";
    const std::string disk = lab.Folder(lab.alpha) + "Alpha.vmdk";
    struct Case {
        const char* name;
        std::string inject; // a simulator control command, or none
        bool snapshot = false;
        bool lockDisk = false; // the disk is held open with no sharing, so XCOPY cannot read it
        const char* line;
        const char* box = ""; // an interactive run still shows the tool's failure
        int toolTimeout = 0;  // the user's limit for tool runs, when set
    } cases[] = {
        {"suspend", "inject \"" + lab.alpha + "\" suspend \"stdout=Error: Cannot suspend\" exit=255 times=1",
         false, false, "    Suspend failed; the previous copy stays."},
        {"snapshot", "inject \"" + lab.alpha + "\" snapshot \"stdout=Error: No room\" exit=255 times=1", true,
         false, "    Snapshot failed; the previous copy stays."},
        {"XCOPY", "", false, true, "the previous copy stays."},
        {"listing", "inject * list \"stdout=Error: Unable to connect to host.\" exit=255 times=1", false,
         false, "The running VMs could not be listed; nothing was backed up.",
         "VMRun failed, exit code: 255"},
        // The copy itself is whole and replaces the previous one; the resume is tried again.
        {"resume", "inject \"" + lab.alpha + "\" start \"stdout=Error: Busy\" exit=255 times=1", false, false,
         "    Resume failed; trying again..."},
        // The backup runs its tools under the user's limit, as the tray copy does.
        {"hung suspend", "inject \"" + lab.alpha + "\" suspend hang times=1", false, false,
         "      Ended after the limit of 5 seconds: ", "", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto previous = Contents(copy);
        // The guest writes on, so a copy made now would differ from the previous one.
        lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" Alpha.vmdk 0 " + std::string("written-before-") +
                       c.name);
        lab.Configure(false, c.snapshot, c.toolTimeout);
        if (!c.inject.empty()) lab.vmware.Ctl(c.inject);
        HANDLE held = c.lockDisk
                          ? CreateFileA(disk.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                          : INVALID_HANDLE_VALUE;
        const ULONGLONG began = GetTickCount64();
        const auto code = lab.Run(lab.target, "", c.box);
        if (c.toolTimeout) {
            EXPECT_GE(GetTickCount64() - began, 5000u);
            EXPECT_LT(GetTickCount64() - began, 20000u) << "not ended at the user's limit";
        }
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(code, std::optional<DWORD>(1u)) << lab.ws.Log();
        EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
        EXPECT_EQ(Contents(copy),
                  std::string(c.name) == "resume" ? Contents(lab.Folder(lab.alpha)) : previous);
        EXPECT_FALSE(lab.Staged("Alpha"));
        EXPECT_NE(lab.ws.Log().find(c.line), std::string::npos) << lab.ws.Log();
        EXPECT_TRUE(lab.vmware.Ctl("injections").empty()) << lab.vmware.Ctl("injections");
        DeleteFileA(lab.ws.LogPath().c_str());
    }

    // A run that was killed left its staging folder; the next run clears it and succeeds.
    lab.Configure(false, false);
    CreateDirectoryA((lab.target + "\\Alpha.tarnwick-partial").c_str(), nullptr);
    WriteFileBytes(lab.target + "\\Alpha.tarnwick-partial\\Tarnwick-backup.mark", "");
    WriteFileBytes(lab.target + "\\Alpha.tarnwick-partial\\Alpha.vmdk", "half a disk");
    EXPECT_EQ(lab.Run(lab.target), 0u) << lab.ws.Log();
    EXPECT_FALSE(lab.Staged("Alpha"));
    EXPECT_EQ(Contents(copy), Contents(lab.Folder(lab.alpha)));
    EXPECT_NE(lab.ws.Log().find(" -     Removing the unfinished copy that an interrupted run left in " +
                                lab.target + "\\Alpha.tarnwick-partial...\r\n"),
              std::string::npos)
        << lab.ws.Log();
}

TEST(Backup, ACopyThatDoesNotFitLeavesThePreviousCopyAsItWas) {
    const std::string smallFs =
        Settings().smallFsDir.empty() ? "" : ToWindowsPath(Settings().smallFsDir) + "\\";
    if (smallFs.empty() || !FileExists(smallFs + "mounted"))
        GTEST_SKIP() << "no small file system was mounted for this run (mounting a tmpfs needs root)";
    BackupLab lab;
    lab.Configure(false, false);
    const std::string target = smallFs + "Target";
    const auto clear = [&] {
        for (const char* folder : {"\\Alpha\\", "\\Alpha.tarnwick-partial\\", "\\Alpha.tarnwick-old\\"}) {
            for (const auto& [name, bytes] : Contents(target + folder))
                DeleteFileA((target + folder + name).c_str());
            RemoveDirectoryA((target + folder).c_str());
        }
    };
    clear(); // what an earlier run of this test left
    CreateDirectoryA(target.c_str(), nullptr);
    const std::string disk = lab.Folder(lab.alpha) + "Alpha-flat.vmdk";
    WriteFileBytes(disk, std::string(400000, 'a'));
    ASSERT_EQ(lab.Run(target), 0u) << lab.ws.Log();
    const std::string copy = target + "\\Alpha\\";
    const auto previous = Contents(copy);
    ASSERT_EQ(previous, Contents(lab.Folder(lab.alpha)));
    // The disk grew: the new copy and the previous one no longer fit side by side.
    WriteFileBytes(disk, std::string(700000, 'b'));
    DeleteFileA(lab.ws.LogPath().c_str());
    EXPECT_EQ(lab.Run(target), 1u) << lab.ws.Log();
    EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
    EXPECT_EQ(Contents(copy), previous);
    EXPECT_FALSE(FileExists(target + "\\Alpha.tarnwick-partial"));
    EXPECT_FALSE(FileExists(target + "\\Alpha.tarnwick-old"));
    EXPECT_NE(lab.ws.Log().find("the previous copy stays."), std::string::npos) << lab.ws.Log();
    clear();
}

TEST(Backup, TheSecondPassTakesTheDisksAsTheyWereAtTheSuspend) {
    BackupLab lab;
    lab.Configure(false, false);
    const std::string folder = lab.Folder(lab.alpha);
    for (char n = '1'; n <= '4'; ++n)
        WriteFileBytes(folder + "Alpha-s00" + n + ".vmdk", std::string(65536, n));
    // Hidden and system files are the VM's as much as any other; the guest writes to one of them too.
    const std::map<std::string, DWORD> marked = {
        {"desktop.ini", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"notes.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY}};
    for (const auto& [name, attributes] : marked) {
        WriteFileBytes(folder + name, name + " of the VM");
        SetFileAttributesA((folder + name).c_str(), attributes);
    }
    // The suspend takes a while, and the guest writes to two disks before it goes down.
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" suspend delay=3000");
    lab.vmware.Ctl("set-state \"" + lab.gamma + "\" off");
    const std::string tip = "Tarnwick backup: VM 1 of 2, Alpha, suspending";
    const int tipsBefore = CountTrayTips(tip);
    Process p("\"" + lab.ws.Exe() + "\" /BKP \"" + lab.target + "\"", false);
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const auto& call : lab.vmware.Calls())
                if (call.size() > 1 && call[1] == "suspend") return true;
            return false;
        },
        30s));
    lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" Alpha-s002.vmdk 100 last-words-of-disk-2");
    lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" Alpha-s004.vmdk 65530 last-words-of-disk-4");
    lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" desktop.ini 0 DESKTOP");
    // Meanwhile the run's own icon says where the run is, and goes with the run.
    EXPECT_TRUE(WaitFor([&] { return CountTrayTips(tip) == tipsBefore + 1; }, 3s));
    const std::vector<HWND> main = WindowsOf(p.Id(), "TfrmMain", false);
    ASSERT_EQ(main.size(), 1u);
    EXPECT_TRUE(TrayIconRegistered(main[0], 100));
    ASSERT_EQ(p.WaitExit(60s), std::optional<DWORD>(0u)) << lab.ws.Log();
    EXPECT_FALSE(TrayIconRegistered(main[0], 100));
    for (const auto& [name, attributes] : marked)
        EXPECT_EQ(GetFileAttributesA((lab.target + "\\Alpha\\" + name).c_str()) & 0x7, attributes) << name;
    // Nothing wrote after the suspend, so the VM folder still is as it was then.
    const auto atSuspend = Contents(folder);
    EXPECT_EQ(atSuspend.at("Alpha-s002.vmdk").substr(100, 20), "last-words-of-disk-2");
    EXPECT_EQ(Contents(lab.target + "\\Alpha\\"), atSuspend);
    const std::string log = lab.ws.Log();
    EXPECT_NE(
        log.find(" -     Copying what changed, with the VM suspended (second pass): 3 of 9 files...\r\n"),
        std::string::npos)
        << log;
    EXPECT_LT(log.find("(first pass)"), log.find(" -     Suspending..."));
    // The downtime the log gives is the simulator's, from the suspend to the resume, within a second.
    const std::string copied = " -     Copied 0.0 GB while running, 0.0 GB while suspended; the VM was down ";
    const size_t at = log.find(copied);
    ASSERT_NE(at, std::string::npos) << log;
    const int down = std::atoi(log.c_str() + at + copied.size());
    const auto calls = lab.vmware.Calls();
    const auto times = lab.vmware.CallTimes();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_EQ(calls[1][1] + calls[2][1], "suspendstart");
    EXPECT_NEAR(down, times[2] - times[1], 1.0);
}

// A first pass ended at the limit mid-file leaves a file that Windows gave its full size up front, with
// the wrong bytes: the disk did not change, so only its last-write time tells.
TEST(Backup, AFirstPassEndedMidFileIsCopiedAgainInTheSecond) {
    BackupLab lab;
    lab.Configure(false, false, 3);
    const std::string disk = lab.Folder(lab.alpha) + "Alpha-flat.vmdk";
    const std::string torn = lab.target + "\\Alpha.tarnwick-partial\\Alpha-flat.vmdk";
    WriteFileBytes(disk, std::string(48 << 20, 'a'));
    std::map<std::string, std::string> previous;
    for (const bool secondFails : {false, true}) {
        SCOPED_TRACE(secondFails ? "the second copy fails too" : "the second copy completes");
        DeleteFileA(lab.ws.LogPath().c_str());
        lab.vmware.Ctl("inject \"" + lab.alpha + "\" suspend delay=2000 times=1");
        Process p("\"" + lab.ws.Exe() + "\" /BKP \"" + lab.target + "\"", false);
        ASSERT_TRUE(WaitFor([&] { return FileExists(torn); }, 30s, 1ms)) << lab.ws.Log();
        EXPECT_GT(FreezeProcesses(p.Id(), "xcopy.exe"), 0);
        ASSERT_TRUE(
            WaitFor([&] { return lab.ws.Log().find(" -     Suspending...") != std::string::npos; }, 30s));
        // As Windows leaves it: the full size, other bytes, the time of the last write.
        WriteFileBytes(torn, std::string(48 << 20, 't'));
        HANDLE held = secondFails
                          ? CreateFileA(disk.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                          : INVALID_HANDLE_VALUE;
        const auto code = WaitExitClosingNotice(p);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        const std::string log = lab.ws.Log();
        EXPECT_NE(log.find(" -       Ended after 3 seconds without progress: cmd /c \"XCOPY "),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find(" -       Copy: \"" + disk + "\" \"" + torn + "\"\r\n"), std::string::npos) << log;
        EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
        EXPECT_FALSE(lab.Staged("Alpha"));
        if (!secondFails) {
            EXPECT_EQ(code, std::optional<DWORD>(0u)) << log;
            previous = Contents(lab.target + "\\Alpha\\");
            EXPECT_TRUE(previous == Contents(lab.Folder(lab.alpha))) << "the copy is not the VM";
        } else {
            EXPECT_EQ(code, std::optional<DWORD>(1u)) << log;
            EXPECT_TRUE(Contents(lab.target + "\\Alpha\\") == previous) << "the previous copy was touched";
            EXPECT_NE(log.find("; the previous copy stays."), std::string::npos) << log;
        }
    }
}

TEST(Backup, BackupKeepKeepsOlderGenerationsInOrderAndAFailedRunKeepsThemAll) {
    BackupLab lab;
    lab.Configure(false, false, 0, "  BackupKeep = 3\r\n");
    const auto copyIn = [&](const std::string& folder) {
        auto files = Contents(lab.target + "\\" + folder + "\\");
        EXPECT_EQ(files.erase("Tarnwick-backup.mark"), folder == "Alpha" ? 0u : 1u) << folder;
        return files;
    };
    std::vector<std::map<std::string, std::string>> atRun;
    for (int run = 1; run <= 4; ++run) {
        lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" Alpha.vmdk 0 run-" + std::to_string(run));
        ASSERT_EQ(lab.Run(lab.target), std::optional<DWORD>(0u)) << lab.ws.Log();
        atRun.push_back(Contents(lab.Folder(lab.alpha)));
    }
    const std::vector<std::string> folders = {"Alpha.tarnwick-2\\", "Alpha.tarnwick-3\\", "Alpha\\"};
    for (const bool failed : {false, true}) {
        SCOPED_TRACE(failed ? "after a failed run" : "after four runs");
        EXPECT_EQ(FilesIn(lab.target + "\\"), folders);
        EXPECT_EQ(copyIn("Alpha"), atRun[3]);
        EXPECT_EQ(copyIn("Alpha.tarnwick-2"), atRun[2]);
        EXPECT_EQ(copyIn("Alpha.tarnwick-3"), atRun[1]);
        lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" Alpha.vmdk 0 run-5");
        lab.vmware.Ctl("inject \"" + lab.alpha +
                       "\" suspend \"stdout=Error: Cannot suspend\" exit=255 times=1");
        if (!failed) {
            EXPECT_EQ(lab.Run(lab.target), std::optional<DWORD>(1u)) << lab.ws.Log();
        }
    }
}

TEST(Backup, AFileOfThePreviousCopyHeldOpenNeverHoldsUpTheNextCopy) {
    BackupLab lab;
    lab.Configure(false, false);
    ASSERT_EQ(lab.Run(lab.target), std::optional<DWORD>(0u)) << lab.ws.Log();
    // A preview or a scan holds a file of the copy, without leave to delete it.
    const std::string away = lab.target + "\\Alpha.tarnwick-put-away-2";
    HANDLE held = CreateFileA((lab.target + "\\Alpha\\nvram").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    for (int run = 2; run <= 4; ++run) {
        SCOPED_TRACE(run);
        if (run == 4) CloseHandle(held);
        DeleteFileA(lab.ws.LogPath().c_str());
        lab.vmware.Ctl("guest-write \"" + lab.alpha + "\" Alpha.vmdk 0 run-" + std::to_string(run));
        EXPECT_EQ(lab.Run(lab.target), std::optional<DWORD>(0u)) << lab.ws.Log();
        EXPECT_EQ(Contents(lab.target + "\\Alpha\\"), Contents(lab.Folder(lab.alpha)));
        const std::string log = lab.ws.Log();
        const std::string line =
            run == 2 ? " cannot be removed now (a file in it is open); moved to " + away +
                           ", which a later run removes.\r\n"
            : run == 3 ? " -     " + away + " still cannot be removed; a later run tries again.\r\n"
                       : std::string(" -     Done...\r\n");
        EXPECT_NE(log.find(line), std::string::npos) << log;
        const std::vector<std::string> left = {"Alpha.tarnwick-put-away-2\\", "Alpha\\"};
        EXPECT_EQ(FilesIn(lab.target + "\\"), run < 4 ? left : std::vector<std::string>{"Alpha\\"});
    }
}

TEST(Backup, AVmsOwnFolderIsNeverTheTarget) {
    BackupLab lab;
    lab.Configure(true, false);
    const std::string vms = lab.ws.Dir() + "VMs";
    std::map<std::string, std::map<std::string, std::string>> before;
    for (const std::string& vm : {lab.alpha, lab.beta, lab.gamma})
        before[vm] = Contents(lab.Folder(vm));
    // "/BKP C:\VMs", and "/BKP ." started in C:\VMs: each VM's backup folder would be its own.
    for (const auto& [target, currentDir] : {std::pair<std::string, std::string>{vms, ""}, {".", vms}}) {
        SCOPED_TRACE(target);
        DeleteFileA(lab.ws.LogPath().c_str());
        EXPECT_EQ(lab.Run(target, currentDir), std::optional<DWORD>(1u)) << lab.ws.Log();
        for (const std::string& vm : {lab.alpha, lab.beta, lab.gamma})
            EXPECT_EQ(Contents(lab.Folder(vm)), before[vm]) << vm;
        const std::string log = lab.ws.Log();
        EXPECT_NE(log.find(" - Backing up all running VMs to " + vms + "\\...\r\n"), std::string::npos)
            << log;
        EXPECT_NE(log.find(" -     The backup folder " + vms + "\\Alpha and the VM's own folder " + vms +
                           "\\Alpha overlap; not backed up so that no VM file is touched...\r\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(lab.vmware.Calls().size(), 1u) << "only the listing";
        lab.vmware.Ctl("clear-journal");
    }
}

TEST(Backup, ARunningVmInTheBackupFolderIsNeverTouched) {
    BackupLab lab;
    lab.Configure(false, false);
    ASSERT_EQ(lab.Run(lab.target), 0u) << lab.ws.Log();
    // The user boots the copy where it lies.
    const std::string copy = lab.target + "\\Alpha", booted = copy + "\\Alpha.vmx";
    lab.vmware.Ctl("set-state \"" + booted + "\" running");
    const auto before = Contents(copy + "\\");
    DeleteFileA(lab.ws.LogPath().c_str());
    lab.vmware.Ctl("clear-journal");
    EXPECT_EQ(lab.Run(lab.target), std::optional<DWORD>(1u)) << lab.ws.Log();
    EXPECT_EQ(Contents(copy + "\\"), before);
    EXPECT_EQ(FilesIn(lab.target + "\\"), std::vector<std::string>{"Alpha\\"});
    EXPECT_EQ(lab.vmware.Calls().size(), 1u) << "only the listing";
    EXPECT_NE(lab.ws.Log().find(" -     The backup folder " + copy + " and the folder " + copy +
                                " of the running VM " + booted +
                                " overlap; not backed up so that no VM file is touched...\r\n"),
              std::string::npos)
        << lab.ws.Log();
}

// A scheduled run that overlaps a manual one.
TEST(Backup, TwoRunsIntoOneTargetNeverShareAVmsFolders) {
    BackupLab lab;
    lab.Configure(false, false);
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" suspend delay=3000");
    const std::string run = "\"" + lab.ws.Exe() + "\" /BKP \"" + lab.target + "\"";
    Process first(run, false);
    Sleep(1000);
    Process second(run, false);
    const auto firstCode = WaitExitClosingNotice(first), secondCode = WaitExitClosingNotice(second);
    const std::string log = lab.ws.Log();
    EXPECT_EQ(firstCode, std::optional<DWORD>(0u)) << log;
    EXPECT_EQ(secondCode, std::optional<DWORD>(1u)) << log;
    // Only the run that holds the folder suspends and resumes the VM.
    std::vector<std::string> alphaVerbs;
    for (const auto& call : lab.vmware.Calls())
        if (call.size() > 2 && call[2] == lab.alpha) alphaVerbs.push_back(call[1]);
    EXPECT_EQ(alphaVerbs, (std::vector<std::string>{"suspend", "start"}));
    EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
    EXPECT_EQ(Contents(lab.target + "\\Alpha\\"), Contents(lab.Folder(lab.alpha)));
    EXPECT_EQ(FilesIn(lab.target + "\\"), std::vector<std::string>{"Alpha\\"});
    EXPECT_NE(log.find(" -     Another run (process " + std::to_string(first.Id()) + ") backs up into " +
                       lab.target + "\\Alpha and holds its lock " + lab.target +
                       "\\Alpha.tarnwick-lock; skipped, its folders are left to it.\r\n"),
              std::string::npos)
        << log;
}

// The user ends the tray copy with "suspend all" (or logs off) while the backup suspends the same VM.
TEST(Backup, AVmSuspendedByTheUserMeanwhileIsNotResumed) {
    BackupLab lab;
    lab.Configure(false, false);
    Process tray("\"" + lab.ws.Exe() + "\"");
    HWND main = WaitWindow(tray.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    // The question is up before the backup starts, whose window may take the keys; it is answered while
    // the backup's suspend is under way.
    ChooseFromTrayMenu(main, 'X');
    HWND question = WaitWindow(tray.Id(), "#32770", "Confirm", 10s);
    ASSERT_TRUE(question);
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" suspend delay=3000 times=1");
    Process backup("\"" + lab.ws.Exe() + "\" /BKP \"" + lab.target + "\"", false);
    ASSERT_TRUE(WaitFor(
        [&] { return !lab.vmware.Calls().empty() && lab.vmware.Calls().back().at(1) == "suspend"; }, 30s));
    ClickButton(question, "&Yes");
    ASSERT_TRUE(tray.WaitExit(30s).has_value());
    EXPECT_EQ(WaitExitClosingNotice(backup), std::optional<DWORD>(1u)) << lab.ws.Log();
    EXPECT_EQ(lab.vmware.State(lab.alpha), "suspended");
    for (const auto& call : lab.vmware.Calls())
        EXPECT_FALSE(call.size() > 2 && call[1] == "start") << call[2];
    EXPECT_NE(lab.ws.Log().find(
                  " -     The VM no longer runs, and this run did not suspend it; it is left as it is.\r\n"),
              std::string::npos)
        << lab.ws.Log();
}

TEST(Backup, ALogHeldRightAfterTheSuspendNeitherStopsNorHoldsTheRun) {
    BackupLab lab;
    lab.Configure(false, false);
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" suspend delay=1500");
    Process p("\"" + lab.ws.Exe() + "\" /BKP \"" + lab.target + "\"", false);
    ASSERT_TRUE(WaitFor([&] { return lab.ws.Log().find(" -     Suspending...") != std::string::npos; }, 30s));
    // Another program holds the log for a few seconds, as an indexer or a backup tool does.
    HANDLE held = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(WaitFor(
        [&] {
            held = CreateFileA(lab.ws.LogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            return held != INVALID_HANDLE_VALUE;
        },
        5s, 10ms));
    Sleep(4000);
    CloseHandle(held);
    EXPECT_EQ(WaitExitClosingNotice(p), std::optional<DWORD>(1u)) << lab.ws.Log();
    EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
    EXPECT_EQ(Contents(lab.target + "\\Alpha\\"), Contents(lab.Folder(lab.alpha)));
    EXPECT_FALSE(lab.Staged("Alpha"));
    const std::string log = lab.ws.Log();
    EXPECT_NE(log.find(" of this backup could not be written to the log)"), std::string::npos) << log;
}

TEST(Backup, AnUnattendedRunShowsNoBoxAndLogsItsMessage) {
    BackupLab lab;
    lab.Configure(true, false);
    // A scheduled task that runs whether the user is logged on or not gets a window station of its own,
    // which no one sees.
    HWINSTA own = GetProcessWindowStation();
    HWINSTA hidden = CreateWindowStationA("TarnwickTask", 0, WINSTA_ALL_ACCESS, nullptr);
    ASSERT_TRUE(hidden);
    ASSERT_TRUE(SetProcessWindowStation(hidden));
    HDESK desk = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    ASSERT_TRUE(desk);
    Process p("\"" + lab.ws.Exe() + "\" /BKP \"" + lab.ws.Dir() + "nowhere\"", false,
              "TarnwickTask\\Default");
    EXPECT_EQ(p.WaitExit(30s), std::optional<DWORD>(2u));
    EXPECT_NE(lab.ws.Log().find(" - ERROR: target Directory does not exist: " + lab.ws.Dir() + "nowhere\r\n"),
              std::string::npos)
        << lab.ws.Log();
    CloseDesktop(desk);
    CloseWindowStation(hidden);
}

TEST(Backup, AToolThatFailsOnItsErrorOutputAloneFailsTheBackup) {
    BackupLab lab;
    lab.Configure(false, false);
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" suspend \"stderr=Error: The operation failed\" exit=255");
    ASSERT_EQ(lab.Run(lab.target), 1u);
    const auto lines = LogMessages(lab.ws.Log());
    const auto at = std::find(lines.begin(), lines.end(), "Error suspending \"" + lab.alpha + "\".");
    ASSERT_NE(at, lines.end()) << lab.ws.Log();
    ASSERT_LT(at + 4, lines.end());
    EXPECT_EQ(at[1], "  Exit code: 255");
    EXPECT_EQ(at[3], ""); // nothing on standard output
    EXPECT_EQ(at[4], "    Suspend failed; the previous copy stays.");
}

TEST(Backup, BesideATrayCopyStartingItsListEachCopyReadsItsOwnToolOutput) {
    BackupLab lab;
    lab.Configure(false, false);
    // The tray copy starts three VMs, slowly, one of which fails with a text of its own; meanwhile the
    // backup suspends and resumes Alpha, whose tool runs print a banner above their success.
    const std::string d1 = lab.vmware.MakeVm("D1", "D1"), d2 = lab.vmware.MakeVm("D2", "D2"),
                      d3 = lab.vmware.MakeVm("D3", "D3");
    lab.vmware.Ctl("inject * vmrun:start delay=700");
    lab.vmware.Ctl("inject \"" + d2 + "\" start \"stdout=Error: tray copy's own failure\" delay=700");
    lab.vmware.Ctl(
        "inject \"" + lab.alpha +
        "\" suspend \"stdout=backup banner{CRLF}result: The operation was successful\" run delay=500");
    WriteFileBytes(lab.ws.Dir() + "Tarnwick.ini",
                   "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n  " + d1 + " = -1\r\n  " +
                       d2 + " = -1\r\n  " + d3 + " = -1\r\n  " + lab.alpha + " = -1\r\n");
    for (const std::string& vm : {d1, d2, d3})
        lab.vmware.Ctl("set-state \"" + vm + "\" off");
    Process tray("\"" + lab.ws.Exe() + "\" /START", false);
    ASSERT_TRUE(WaitFor([&] { return lab.ws.Log().find("Starting VM: " + d1) != std::string::npos; }, 20s));
    const std::optional<DWORD> backup = lab.Run(lab.target);
    ASSERT_TRUE(WaitFor([&] { return lab.ws.Log().find("VMs Started: ") != std::string::npos; }, 30s))
        << lab.ws.Log();
    EXPECT_EQ(backup, std::optional<DWORD>(0)) << lab.ws.Log();
    tray.Kill();

    const auto lines = LogMessages(lab.ws.Log());
    const std::string trayTmp = lab.tmp, backupTmp = lab.ws.Dir() + "Tarnwick-2.tmp";
    size_t trayRuns = 0, backupRuns = 0, errors = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("      DosCmd: cmd /c \"\"" + lab.vmrun + "\"")) {
            if (lines[i].ends_with("> \"" + trayTmp + "\"\"")) ++trayRuns;
            if (lines[i].ends_with("> \"" + backupTmp + "\"\"")) ++backupRuns;
        }
        if (lines[i].starts_with("Error ")) {
            ++errors;
            // The one failure is the tray copy's, with its own output and nothing of the backup's.
            EXPECT_EQ(lines[i], "Error starting \"" + d2 + "\".");
            ASSERT_LT(i + 3, lines.size());
            EXPECT_EQ(lines[i + 3], "     Error: tray copy's own failure");
        }
    }
    EXPECT_EQ(errors, 1u) << lab.ws.Log();
    // Every tool call in the journal has its log line: the tray copy's 4 starts (Alpha's too, though it
    // runs already), and the backup's listing, then a suspend and a resume per VM it copied (Alpha, and
    // the tray copy's VMs that had started by the listing).
    EXPECT_EQ(trayRuns, 4u) << lab.ws.Log();
    EXPECT_GE(backupRuns, 3u) << lab.ws.Log();
    EXPECT_EQ(backupRuns % 2, 1u) << lab.ws.Log();
    EXPECT_EQ(lab.vmware.Journal().size(), trayRuns + backupRuns);
    EXPECT_EQ(lab.vmware.State(d1), "running");
    EXPECT_EQ(lab.vmware.State(d3), "running");
    EXPECT_EQ(lab.vmware.State(lab.alpha), "running");
}
