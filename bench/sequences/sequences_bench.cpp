// Usage: sequences_bench <vmsim.exe> [rounds] [backup MiB]
// 1. A start sequence and a suspend sequence of 20 VMs (no delays) against the sum of bare
//    CreateProcess-and-wait runs of the very same command lines, interleaved round by round.
// 2. A backup of one VM whose folder holds about 200 MiB in 10 disk files: the VM's downtime (from its
//    suspend to its resume, as the simulator's journal records them) against a bare XCOPY of the same
//    folder, once with two disk files written by the guest between the copy's passes, and once with all
//    ten, where the second pass copies the whole folder as a copy made only while suspended would.
#include "common/win32/file_system.h"
#include "config/control_list.h"
#include "dos/win32/command_runner.h"
#include "hypervisor/hypervisor.h"
#include "hypervisor/tool_commands.h"
#include "sequences/adapters.h"
#include "sequences/backup.h"
#include "sequences/sequencer.h"
#include "sequences/win32/backup_folders.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace tarnwick;

namespace {

class QuietLog : public Reporter, public Dialogs {
  public:
    explicit QuietLog(std::string path) : path_(std::move(path)) {}
    // Opened and closed for every line, as the activity log is.
    void WriteLog(const std::string& msg) override {
        std::ofstream(path_, std::ios::binary | std::ios::app) << msg << "\r\n";
    }
    void ShowStatus(const std::string& msg) override { WriteLog(msg); }
    void ShowMessage(const std::string&) override {}
    bool Confirm(const std::string&) override { return true; }
    void InvalidEntry(const std::string&) override {}
    void Beep() override {}

  private:
    std::string path_;
};

class NoSession : public SessionPlatform {
  public:
    bool SetPrivilege(const std::string&, bool) override { return true; }
    bool ExitWindowsEx(uint32_t) override { return true; }
    bool CreateShutdownBlockReason(const std::string&) override { return true; }
    void DestroyShutdownBlockReason() override {}
};

double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Bare(const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi))
        return;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void RunCtl(const std::string& vmsim, const std::string& args) {
    Bare("\"" + vmsim + "\" --ctl " + args);
}

// Milliseconds since midnight of a journal line's "YYYY-MM-DD HH:MM:SS.mmm" stamp.
double StampMs(const std::string& line) {
    const int h = std::atoi(line.substr(11, 2).c_str()), m = std::atoi(line.substr(14, 2).c_str());
    const double s = std::atof(line.substr(17, 6).c_str());
    return ((h * 60 + m) * 60 + s) * 1000.0;
}

// The guest of the running VM: right before the suspend goes to the tool, it writes into the first
// `disks` disk files through the simulator's control command, as a guest busy until it is stopped would.
class GuestBeforeSuspend : public Processes {
  public:
    GuestBeforeSuspend(Processes& runner, std::string vmsim, std::string vmx, int disks)
        : runner_(runner), vmsim_(std::move(vmsim)), vmx_(std::move(vmx)), disks_(disks) {}
    bool RunCommandLine(const std::string& commandLine, const std::string& workingDir, bool wait,
                        uint32_t& exitCode) override {
        WriteBeforeSuspend(commandLine);
        return runner_.RunCommandLine(commandLine, workingDir, wait, exitCode);
    }
    RunEnd RunWithLimit(const std::string& commandLine, const RunLimit& limit, uint32_t& exitCode) override {
        WriteBeforeSuspend(commandLine);
        return runner_.RunWithLimit(commandLine, limit, exitCode);
    }
    void Sleep(unsigned milliseconds) override { runner_.Sleep(milliseconds); }
    uint64_t TickMilliseconds() override { return runner_.TickMilliseconds(); }
    static std::string DiskName(int i) {
        char name[32];
        std::snprintf(name, sizeof name, "Big-s%03d.vmdk", i);
        return name;
    }

  private:
    void WriteBeforeSuspend(const std::string& commandLine) {
        if (commandLine.find("\" suspend \"") == std::string::npos) return;
        for (int i = 1; i <= disks_; ++i)
            RunCtl(vmsim_, "guest-write \"" + vmx_ + "\" " + DiskName(i) + " 4096 written-by-the-guest");
    }

    Processes& runner_;
    std::string vmsim_, vmx_;
    int disks_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sequences_bench <vmsim.exe> [rounds] [backup MiB]\n");
        return 2;
    }
    const std::string vmsimExe = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int mib = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "tarnwick_sequences_bench\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string home = dir + "home\\";
    CreateDirectoryA(home.c_str(), nullptr);
    SetEnvironmentVariableA("VMSIM_HOME", home.c_str());
    const std::string vmrun = dir + "vmrun.exe";
    CopyFileA(vmsimExe.c_str(), vmrun.c_str(), FALSE);
    RunCtl(vmrun, "reset");

    const VmwareTools tools{vmrun, true, dir};
    CaptureFiles captures(dir + "Tarnwick.tmp");
    const std::string logFilePath = dir + "Tarnwick.log";
    const auto defaultLimit = [] { return std::optional<uint32_t>(); };

    ControlList list;
    std::vector<std::string> vms;
    for (int i = 0; i < 20; ++i) {
        const std::string folder = dir + "VMs\\vm" + std::to_string(i) + "\\";
        CreateDirectoryA((dir + "VMs").c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string vmx = folder + "vm" + std::to_string(i) + ".vmx";
        std::ofstream(vmx) << "config.version = \"8\"\n";
        vms.push_back(vmx);
        list.SetEnabled(list.AddListItem(vmx), true);
    }

    QuietLog log(logFilePath);
    win32::WinFileSystem files;
    win32::CommandRunner runner;
    Hypervisor hypervisor(HypervisorServices{tools, captures, log, log, runner, files, defaultLimit});
    ControlListPort listPort(list);
    HypervisorPort vmPort(hypervisor);
    NoSession session;
    EndSessionGate gate(session);
    Sequencer sequencer(SequenceServices{tools, listPort, vmPort, log, log, runner, gate,
                                         [] { return std::string("now"); }, [] {}});

    std::vector<std::string> startLines, suspendLines;
    for (const std::string& vm : vms) {
        startLines.push_back(BuildToolCommandLine(true, vmrun, "start", vm, captures.Outer()));
        suspendLines.push_back(BuildToolCommandLine(true, vmrun, "suspend", vm, captures.Outer()));
    }
    // The suspend sequence also lists what still runs.
    suspendLines.push_back(BuildToolCommandLine(true, vmrun, "list", "", captures.Outer()));

    std::vector<double> seqStart, seqSuspend, bareStart, bareSuspend;
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 2; ++k) {
            if ((k + r) % 2 == 0) {
                double t = Now();
                sequencer.StartAll();
                seqStart.push_back(Now() - t);
                t = Now();
                sequencer.SuspendAll();
                seqSuspend.push_back(Now() - t);
            } else {
                double t = Now();
                for (const std::string& l : startLines)
                    Bare(l);
                bareStart.push_back(Now() - t);
                t = Now();
                for (const std::string& l : suspendLines)
                    Bare(l);
                bareSuspend.push_back(Now() - t);
            }
        }
    }
    const double ss = Median(seqStart), bs = Median(bareStart), sp = Median(seqSuspend),
                 bp = Median(bareSuspend);
    std::printf("start of 20 VMs:   sequence %.0f ms, bare runs %.0f ms, ratio %.3f (overhead %+.1f%%, "
                "target <= +15%%)\n",
                ss, bs, ss / bs, 100 * (ss / bs - 1));
    std::printf("suspend of 20 VMs: sequence %.0f ms, bare runs %.0f ms, ratio %.3f (overhead %+.1f%%, "
                "target <= +15%%)\n",
                sp, bp, sp / bp, 100 * (sp / bp - 1));

    // The backup: one VM with a large folder.
    RunCtl(vmrun, "reset");
    const std::string big = dir + "Big\\";
    CreateDirectoryA(big.c_str(), nullptr);
    const std::string bigVmx = big + "Big.vmx";
    std::ofstream(bigVmx) << "config.version = \"8\"\n";
    const std::string block(1 << 20, '\x5a');
    for (int d = 1; d <= 10; ++d) {
        std::ofstream disk(big + GuestBeforeSuspend::DiskName(d), std::ios::binary);
        for (int i = 0; i < std::max(1, mib / 10); ++i)
            disk.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    RunCtl(vmrun, "set-state \"" + bigVmx + "\" running");
    const std::string target = dir + "Backups\\";
    CreateDirectoryA(target.c_str(), nullptr);
    ControlList empty;
    ControlListPort emptyPort(empty);
    ConfigOptions options;
    options.bkpAll = true;
    win32::WinBackupFolders folders;
    const std::string bareTarget = dir + "BareCopy";
    std::vector<double> copy, downtime[2];
    const int changedDisks[2] = {2, 10};
    for (int r = 0; r < std::max(1, rounds / 2); ++r) {
        for (int k = 0; k < 2; ++k) {
            RunCtl(vmrun, "clear-journal");
            BackupLog backupLog(log);
            Hypervisor backupHypervisor(
                HypervisorServices{tools, captures, backupLog, log, runner, files, defaultLimit});
            HypervisorPort backupVms(backupHypervisor);
            GuestBeforeSuspend guest(runner, vmrun, bigVmx, changedDisks[k]);
            BackupServices services{emptyPort, options, backupVms, backupLog, log, guest, files, folders};
            BackupRunningVms(target, services);
            std::ifstream journal(home + "vmsim-journal.txt");
            std::string line;
            double suspendAt = -1, resumeAt = -1;
            while (std::getline(journal, line)) {
                if (line.find("\tsuspend\t") != std::string::npos) suspendAt = StampMs(line);
                if (line.find("\tstart\t") != std::string::npos) resumeAt = StampMs(line);
            }
            if (suspendAt >= 0 && resumeAt > suspendAt) downtime[k].push_back(resumeAt - suspendAt);
        }
        folders.RemoveFolder(bareTarget);
        const double t = Now();
        Bare("cmd /c \"XCOPY /I /Y /C \"" + big.substr(0, big.size() - 1) + "\" \"" + bareTarget + "\"\"");
        copy.push_back(Now() - t);
    }
    // Two pauses of 300 ms lie between the suspend and the resume, whatever is copied.
    const double fixed = 600, cp = Median(copy);
    std::printf("backup of a %d MiB VM in 10 disk files: bare XCOPY of the folder %.0f ms\n", mib, cp);
    for (int k = 0; k < 2; ++k) {
        const double dt = Median(downtime[k]);
        std::printf(
            "  %2d of 10 disks written between the passes: downtime %.0f ms (suspend to resume), %.0f ms "
            "without the fixed pauses of %.0f ms; ratio to the bare copy %.2f (%.2f with the pauses)%s\n",
            changedDisks[k], dt, dt - fixed, fixed, cp > 0 ? (dt - fixed) / cp : 0, cp > 0 ? dt / cp : 0,
            k == 0 ? ", target <= 0.35" : "; the whole folder copied while suspended");
    }
    return 0;
}
