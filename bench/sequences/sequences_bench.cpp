// Usage: sequences_bench <vmsim.exe> [rounds] [small VM MiB] [large VM MiB]
// 1. A start sequence and a suspend sequence of 20 VMs (no delays) against the sum of bare
//    CreateProcess-and-wait runs of the very same command lines, interleaved round by round.
// 2. A backup of one VM of 10 disk files, at two sizes (200 MiB and 1 GiB unless given), whose guest
//    writes into the same two 20 MiB disks right before its suspend: the VM's downtime (from its suspend
//    to its resume, as the simulator's journal records them) against a bare copy of just those two files
//    (the least a file-level second pass can take) and a bare XCOPY of the whole folder (what a copy
//    made only while suspended takes). Every round checks that the second pass copied what the guest
//    wrote and that the copy equals the VM's folder as it was at the suspend; a round that does not is
//    reported and ends the benchmark with exit code 1, for its figures would mean nothing.
#include "common/win32/file_system.h"
#include "config/control_list.h"
#include "config/win32/atomic_file_writer.h"
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
    void CallBackAfterRefusal() override {}
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

std::string DiskName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "Big-s%03d.vmdk", i);
    return name;
}

// A benchmark whose stand-in did not do its part measures nothing: it says so and ends.
[[noreturn]] void CannotMeasure(const std::string& why) {
    std::fprintf(stderr, "sequences_bench: cannot measure the backup's downtime: %s\n", why.c_str());
    std::exit(1);
}

// Milliseconds since midnight by the local clock, the clock of the simulator's journal.
double LocalMs() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return ((t.wHour * 60.0 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

// The guest of the running VM: right before the suspend goes to the tool, it writes text into the
// first `disks` disk files through the simulator's control command, as a guest busy until it is stopped
// would. It is the Processes of both the backup and its Hypervisor, which runs the suspend.
class GuestBeforeSuspend : public Processes {
  public:
    GuestBeforeSuspend(Processes& runner, std::string vmsim, std::string vmx, int disks, std::string text)
        : runner_(runner), vmsim_(std::move(vmsim)), vmx_(std::move(vmx)), disks_(disks),
          text_(std::move(text)) {}
    bool RunCommandLine(const std::string& commandLine, const std::string& workingDir, bool wait,
                        uint32_t& exitCode) override {
        WriteBeforeSuspend(commandLine);
        return runner_.RunCommandLine(commandLine, workingDir, wait, exitCode);
    }
    RunEnd RunWithLimit(const std::string& commandLine, const RunLimit& limit, uint32_t& exitCode) override {
        WriteBeforeSuspend(commandLine);
        return runner_.RunWithLimit(commandLine, limit, exitCode);
    }
    void Sleep(unsigned milliseconds) override {
        const double start = LocalMs();
        runner_.Sleep(milliseconds);
        sleeps_.emplace_back(start, LocalMs() - start);
    }
    uint64_t TickMilliseconds() override { return runner_.TickMilliseconds(); }
    int Writes() const { return writes_; }
    // How long the first pause that began at or after `from` (local ms) lasted; negative when none did.
    double PauseFrom(double from) const {
        for (const auto& [start, length] : sleeps_)
            if (start >= from) return length;
        return -1;
    }
    static constexpr long long At = 4096; // where in each disk the text goes

  private:
    void WriteBeforeSuspend(const std::string& commandLine) {
        if (commandLine.find("\" suspend \"") == std::string::npos) return;
        for (int i = 1; i <= disks_; ++i)
            RunCtl(vmsim_,
                   "guest-write \"" + vmx_ + "\" " + DiskName(i) + " " + std::to_string(At) + " " + text_);
        ++writes_;
    }

    Processes& runner_;
    std::string vmsim_, vmx_;
    int disks_;
    std::string text_;
    int writes_ = 0;
    std::vector<std::pair<double, double>> sleeps_; // start, length
};

// The lines of one backup run, each with the moment it was written, on their way to the log.
class RoundLog : public Reporter {
  public:
    explicit RoundLog(Reporter& log) : log_(log) {}
    void WriteLog(const std::string& msg) override {
        lines_.emplace_back(LocalMs(), msg);
        log_.WriteLog(msg);
    }
    void ShowStatus(const std::string& msg) override { WriteLog(msg); }
    // When the first line that starts so was written; negative when none was.
    double At(const std::string& start) const {
        for (const auto& [at, line] : lines_)
            if (line.starts_with(start)) return at;
        return -1;
    }

  private:
    Reporter& log_;
    std::vector<std::pair<double, std::string>> lines_;
};

// The bytes of a file, read in one go.
std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Why the copy differs from the folder, or "" when it holds the same files at the same sizes and, with
// bytes, the same bytes.
std::string CompareFolders(const std::string& folder, const std::string& copy, bool bytes) {
    win32::WinBackupFolders folders;
    const auto files = folders.ListFiles(folder), copies = folders.ListFiles(copy);
    if (!files || !copies) return "a folder cannot be listed: " + folder + " or " + copy;
    if (files->size() != copies->size())
        return copy + " holds " + std::to_string(copies->size()) + " files, not " +
               std::to_string(files->size());
    for (const auto& f : *files) {
        const auto same = std::find_if(copies->begin(), copies->end(),
                                       [&](const auto& c) { return c.name == f.name && c.size == f.size; });
        if (same == copies->end() ||
            (bytes && ReadAll(folder + "\\" + f.name) != ReadAll(copy + "\\" + f.name)))
            return f.name + " differs from the VM's file";
    }
    return "";
}

constexpr int Disks = 10, HotDisks = 2, HotMiB = 20;

// One VM of `mib` MiB: HotDisks disks of HotMiB each, which its guest writes to, and cold ones that make
// up the rest, so that VMs of any size change the same bytes.
struct BenchVm {
    std::string name, folder, vmx;
    int mib = 0;
};

BenchVm MakeVm(const std::string& dir, const std::string& name, int mib) {
    BenchVm vm{name, dir + name, dir + name + "\\" + name + ".vmx", mib};
    CreateDirectoryA(vm.folder.c_str(), nullptr);
    std::ofstream(vm.vmx) << "config.version = \"8\"\n";
    const std::string block(1 << 20, '\x5a');
    const int coldMiB = std::max(1, (mib - HotDisks * HotMiB) / (Disks - HotDisks));
    for (int d = 1; d <= Disks; ++d) {
        std::ofstream disk(vm.folder + "\\" + DiskName(d), std::ios::binary | std::ios::trunc);
        for (int i = 0; i < (d <= HotDisks ? HotMiB : coldMiB); ++i)
            disk.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return vm;
}

struct Figures {
    std::vector<double> downtime, pauses, suspendEnd, secondPass, resumeStart, changedCopy, folderCopy;
};

// One backup of the VM, the only one running, with the guest writing `text` before the suspend; its
// downtime and the time its second pass took, after the checks that make them mean something.
void BackUpOnce(const BenchVm& vm, const std::string& vmrun, const std::string& home,
                const std::string& target, const VmwareTools& tools, CaptureFiles& captures, QuietLog& log,
                Processes& runner, FileSystem& files, const std::string& text, Figures& figures) {
    RunCtl(vmrun, "reset");
    RunCtl(vmrun, "set-state \"" + vm.vmx + "\" running");
    ControlList empty;
    ControlListPort emptyPort(empty);
    ConfigOptions options;
    options.bkpAll = true;
    win32::WinBackupFolders folders;
    RoundLog round(log);
    BackupLog backupLog(round);
    GuestBeforeSuspend guest(runner, vmrun, vm.vmx, HotDisks, text);
    Hypervisor hypervisor(HypervisorServices{tools, captures, backupLog, log, guest, files,
                                             [] { return std::optional<uint32_t>(); }});
    HypervisorPort vms(hypervisor);
    // As a run out of sight: no one to show its progress to.
    struct : BackupProgressView {
        void ShowProgress(const std::string&) override {}
    } unseen;
    BackupServices services{emptyPort, options, vms, backupLog, log, guest, files, folders, unseen};
    const BackupExitCode code = BackupRunningVms(target, services);

    if (code != BackupSucceeded)
        CannotMeasure("the backup of " + vm.vmx + " ended with " + std::to_string(code));
    if (guest.Writes() != 1)
        CannotMeasure("the guest wrote " + std::to_string(guest.Writes()) + " times, not once");
    const std::string second =
        "    Copying what changed, with the VM suspended (second pass): " + std::to_string(HotDisks) +
        " of " + std::to_string(Disks + 1) + " files...";
    if (round.At(second) < 0) CannotMeasure("the log has no line \"" + second + "\"");
    for (int d = 1; d <= HotDisks; ++d) {
        const std::string disk = ReadAll(vm.folder + "\\" + DiskName(d));
        if (disk.compare(GuestBeforeSuspend::At, text.size(), text) != 0)
            CannotMeasure("the guest's text is not in " + vm.folder + "\\" + DiskName(d));
    }
    // Nothing writes after the suspend, so the VM's folder is still as it was then.
    if (const std::string why = CompareFolders(vm.folder, target + vm.name, true); !why.empty())
        CannotMeasure("the copy is not the VM as it was at the suspend: " + why);

    std::ifstream journal(home + "vmsim-journal.txt");
    std::string line;
    double suspendAt = -1, resumeAt = -1;
    while (std::getline(journal, line)) {
        if (line.find("\tsuspend\t") != std::string::npos) suspendAt = StampMs(line);
        if (line.find("\tstart\t") != std::string::npos) resumeAt = StampMs(line);
    }
    if (suspendAt < 0 || resumeAt <= suspendAt)
        CannotMeasure("the journal has no suspend followed by a start");
    figures.downtime.push_back(resumeAt - suspendAt);
    // The suspend's run after the tool took it, up to the second pass's line less the pause before the
    // copy; the copy, up to the resume's line less the pause after it; the resume's run until the tool
    // has it. The pauses as slept: the runner's clock may add a few milliseconds to each.
    const double passAt = round.At(second), resumeLineAt = round.At("    Resuming...");
    const double pauseBefore = guest.PauseFrom(suspendAt), pauseAfter = guest.PauseFrom(passAt);
    if (pauseBefore < 0 || pauseAfter < 0) CannotMeasure("the pauses around the second pass were not seen");
    figures.pauses.push_back(pauseBefore + pauseAfter);
    figures.suspendEnd.push_back(passAt - suspendAt - pauseBefore);
    figures.secondPass.push_back(resumeLineAt - passAt - pauseAfter);
    figures.resumeStart.push_back(resumeAt - resumeLineAt);
}

// A bare copy of the files the guest changed, over copies of the same size, as the second pass copies
// them into the staging folder.
double CopyChangedFiles(const BenchVm& vm, const std::string& into) {
    CreateDirectoryA(into.c_str(), nullptr);
    const double t = Now();
    for (int d = 1; d <= HotDisks; ++d) {
        const std::string name = "\\" + DiskName(d);
        if (!CopyFileA((vm.folder + name).c_str(), (into + name).c_str(), FALSE))
            CannotMeasure("the bare copy of " + vm.folder + name + " failed");
    }
    return Now() - t;
}

double XcopyFolder(const BenchVm& vm, const std::string& into) {
    win32::WinBackupFolders().RemoveFolder(into);
    const double t = Now();
    Bare("cmd /c \"XCOPY /I /Y /C /H /K \"" + vm.folder + "\" \"" + into + "\"\"");
    const double ms = Now() - t;
    if (const std::string why = CompareFolders(vm.folder, into, false); !why.empty())
        CannotMeasure("the bare XCOPY did not copy the folder: " + why);
    return ms;
}

int BenchBackups(const std::string& vmrun, const std::string& home, const std::string& dir,
                 const VmwareTools& tools, CaptureFiles& captures, QuietLog& log, Processes& runner,
                 FileSystem& files, int rounds, const std::vector<int>& sizes) {
    const std::string target = dir + "Backups\\";
    CreateDirectoryA(target.c_str(), nullptr);
    std::vector<BenchVm> vms;
    for (int mib : sizes)
        vms.push_back(MakeVm(dir, "Vm" + std::to_string(mib), mib));
    std::vector<Figures> figures(vms.size());
    for (size_t v = 0; v < vms.size(); ++v)
        CopyChangedFiles(vms[v], dir + "BareChanged"); // the copies that each round's copy replaces
    for (int r = 0; r < rounds; ++r) {
        for (size_t v = 0; v < vms.size(); ++v) {
            const std::string text = "round-" + std::to_string(r) + "-of-" + vms[v].name;
            BackUpOnce(vms[v], vmrun, home, target, tools, captures, log, runner, files, text, figures[v]);
            figures[v].changedCopy.push_back(CopyChangedFiles(vms[v], dir + "BareChanged"));
            figures[v].folderCopy.push_back(XcopyFolder(vms[v], dir + "BareCopy"));
        }
    }
    std::vector<double> beyond(vms.size()), pass(vms.size());
    for (size_t v = 0; v < vms.size(); ++v) {
        const Figures& f = figures[v];
        std::vector<double> beyondPauses;
        for (size_t r = 0; r < f.downtime.size(); ++r)
            beyondPauses.push_back(f.downtime[r] - f.pauses[r]);
        const double dt = Median(f.downtime), changed = Median(f.changedCopy), folder = Median(f.folderCopy);
        beyond[v] = Median(beyondPauses);
        pass[v] = Median(f.secondPass);
        if (changed <= 0 || folder <= 0 || pass[v] <= 0) CannotMeasure("a copy took no measurable time");
        std::printf("backup of a %d MiB VM in %d disk files, the guest writing to %d of them (%d MiB) before "
                    "the suspend, median of %d rounds:\n",
                    vms[v].mib, Disks, HotDisks, HotDisks * HotMiB, rounds);
        // Two pauses of 300 ms lie between the suspend and the resume, whatever is copied.
        std::printf(
            "  downtime %.0f ms from suspend to resume: the two pauses of 300 ms %.0f ms as slept, the "
            "suspend's run after the tool took it %.0f ms, the second pass %.0f ms, the resume's run "
            "until the tool had it %.0f ms\n",
            dt, Median(f.pauses), Median(f.suspendEnd), pass[v], Median(f.resumeStart));
        std::printf(
            "  against a bare copy of the %d changed files (%.0f ms): beyond the pauses (%.0f ms) ratio "
            "%.2f (target <= 1.2), the second pass alone ratio %.2f\n",
            HotDisks, changed, beyond[v], beyond[v] / changed, pass[v] / changed);
        std::printf(
            "  against a bare XCOPY of the whole folder (%.0f ms): beyond the pauses ratio %.2f (%.2f "
            "with the pauses)\n",
            folder, beyond[v] / folder, dt / folder);
    }
    if (vms.size() > 1)
        std::printf(
            "%d MiB VM against %d MiB VM: beyond the pauses ratio %.2f, the second pass alone ratio %.2f "
            "(target within 10%%)\n",
            vms.back().mib, vms.front().mib, beyond.back() / beyond.front(), pass.back() / pass.front());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sequences_bench <vmsim.exe> [rounds] [small VM MiB] [large VM MiB]\n");
        return 2;
    }
    const std::string vmsimExe = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    // The cold disks make up the rest of each size; below the changed disks' size they hold 1 MiB each.
    const std::vector<int> sizes = {argc > 3 ? std::atoi(argv[3]) : 200,
                                    argc > 4 ? std::atoi(argv[4]) : 1024};

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

    DeleteFileA(logFilePath.c_str()); // the log holds this run's lines only, for a look afterwards
    QuietLog log(logFilePath);
    win32::WinFileSystem files;
    win32::CommandRunner runner;
    Hypervisor hypervisor(HypervisorServices{tools, captures, log, log, runner, files, defaultLimit});
    ControlListPort listPort(list);
    HypervisorPort vmPort(hypervisor);
    NoSession session;
    EndSessionGate gate(session);
    // Every VM is an enabled entry, so nothing is recorded, and the option is off: the record costs a look.
    win32::AtomicFileWriter writer;
    ResumeRecord record(dir + "Tarnwick.resume", files, writer);
    const ConfigOptions options;
    Sequencer sequencer(SequenceServices{tools, listPort, vmPort, log, log, runner, gate,
                                         [] { return std::string("now"); }, [] {},
                                         ResumeServices{record, files, options}});

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

    return BenchBackups(vmrun, home, dir, tools, captures, log, runner, files, rounds, sizes);
}
