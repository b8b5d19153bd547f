// /BKP <dir>: which VMs are copied, with which tool verbs and commands, and the exit code for schedulers.
#include "driver.h"
#include "vmware_fixture.h"

#include <gtest/gtest.h>

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
    void Configure(bool all, bool snapshot) {
        WriteFileBytes(ws.Dir() + "Tarnwick.ini",
                       std::string("[Options]\r\n  BkpAll = ") + (all ? "-1" : "0") +
                           "\r\n  UseSnapshot = " + (snapshot ? "-1" : "0") + "\r\n[Control]\r\n  " + alpha +
                           " = -1\r\n  DELAY:1 = 0\r\n  " + beta + " = 0\r\n  PROMPT: = -1\r\n");
    }
    // Runs a backup to dir and returns the exit code.
    std::optional<DWORD> Run(const std::string& dir) {
        Process p("\"" + ws.Exe() + "\" /BKP \"" + dir + "\"", false);
        return p.WaitExit(60s);
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
    auto lines = LogMessages(lab.ws.Log());
    ASSERT_GE(lines.size(), 3u);
    const std::vector<std::string> want = {
        "Backing up all running VMs to " + d + "...",
        "      DosCmd: cmd /c \"\"" + lab.vmrun + "\" list > \"" + lab.tmp + "\"\"",
        "  Backing up VM 1/3: " + lab.alpha,
        "    Clearing destination directory...",
        "      DosCmd: cmd /c \"DEL /Q /F \"" + d + "Alpha\\*.*\"\"",
        "    Suspending...",
        lab.DosCmd("suspend", lab.alpha),
        "    Copying...",
        "      DosCmd: cmd /c \"XCOPY /I /Y /C \"" + f + "\" \"" + d + "Alpha\"\"",
        "    Resuming...",
        lab.DosCmd("start", lab.alpha),
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
    lines = LogMessages(lab.ws.Log());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), want);
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

TEST(Backup, MissingTargetSaysSoLogsNothingAndEndsWithTwo) {
    BackupLab lab;
    lab.Configure(true, false);
    Process p("\"" + lab.ws.Exe() + "\" /BKP \"" + lab.ws.Dir() + "nowhere\"", false);
    HWND box = WaitWindow(p.Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), "ERROR: target Directory does not exist: " + lab.ws.Dir() + "nowhere");
    ClickButton(box, "OK");
    const auto code = p.WaitExit();
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

TEST(Backup, AFailedSuspendIsReportedAndCountsAsFailure) {
    BackupLab lab;
    lab.Configure(false, false);
    lab.vmware.Ctl("inject \"" + lab.alpha + "\" suspend \"stdout=Error: Cannot suspend\" exit=255");
    ASSERT_EQ(lab.Run(lab.target), 1u);
    const std::string log = lab.ws.Log();
    EXPECT_NE(log.find(" - Error suspending \"" + lab.alpha + "\".\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("copy may be inconsistent"), std::string::npos) << log;
    EXPECT_NE(log.find(" -     Done...\r\n"), std::string::npos);
}
