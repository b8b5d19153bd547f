#include "sequences/backup.h"

#include "common/paths.h"
#include "common/text_case.h"
#include "config/control_list.h"
#include "hypervisor/tool_commands.h"
#include "sequences/delay.h"

#include <map>

namespace tarnwick {

namespace {

class BackupRun {
  public:
    BackupRun(const std::string& target, BackupServices& s) : target_(target), s_(s) {}

    void BackUp(const std::string& path, size_t number, size_t total);
    bool Failed() const { return failed_; }

  private:
    void Fail(const std::string& line) {
        s_.reporter.WriteLog(line);
        failed_ = true;
    }
    bool RunDosCommand(const std::string& command, uint32_t& exitCode);
    void DelayAfter(std::optional<size_t> entry);

    const std::string& target_;
    BackupServices& s_;
    bool failed_ = false;
    std::map<std::string, std::string> usedNames_; // folded N -> the VM backed up into D + N
};

bool BackupRun::RunDosCommand(const std::string& command, uint32_t& exitCode) {
    s_.reporter.WriteLog("      DosCmd: " + command);
    exitCode = 0;
    if (s_.processes.RunCommandLine(command, "", true, exitCode)) return true;
    Fail("      (the command could not be started)");
    return false;
}

void BackupRun::BackUp(const std::string& path, size_t number, size_t total) {
    s_.reporter.ShowStatus("  Backing up VM " + std::to_string(number) + "/" + std::to_string(total) + ": " +
                           path);
    const std::optional<size_t> entry = s_.list.FindText(path);
    if (!entry && !s_.options.bkpAll) {
        s_.reporter.WriteLog("    Not in control list; skipping...");
        return;
    }
    if (entry && *entry < s_.list.Count() && !s_.list.Enabled(*entry)) {
        s_.reporter.WriteLog("    Disabled in control list; skipping...");
        return;
    }

    // From here on the VM is selected: whatever keeps it from being copied fails the run.
    if (ContainsDoubleQuote(path)) {
        Fail("    Path holds a double quote; not backed up.");
        return;
    }
    const VmFolder split = SplitVmFolder(path);
    if (!UsableFolderName(path, split)) {
        // DEL would clear D itself, and XCOPY copy from the wrong place.
        Fail("    No usable folder name for this VM; skipping so that no backup is deleted...");
        return;
    }
    const auto [used, fresh] = usedNames_.try_emplace(FoldCase(split.name), path);
    if (!fresh) {
        Fail("    Folder name clash: " + used->second + " was backed up into " + target_ + split.name +
             " in this run; skipping " + path + " so that its copy stays...");
        return;
    }

    s_.reporter.WriteLog("    Clearing destination directory...");
    uint32_t exitCode = 0;
    // DEL's exit code says nothing useful: the folder is missing on the first run.
    RunDosCommand(BuildDelCommand(target_, split.name), exitCode);

    const bool snapshot = s_.options.useSnapshot;
    s_.reporter.WriteLog(snapshot ? "    Creating snapshot..." : "    Suspending...");
    if (!s_.vms.ExecVmCommand(snapshot ? "snapshot" : "suspend", path))
        Fail(snapshot ? "    Snapshot failed; copy may be inconsistent."
                      : "    Suspend failed; copy may be inconsistent.");
    s_.processes.Sleep(300);

    s_.reporter.WriteLog("    Copying...");
    if (RunDosCommand(BuildXcopyCommand(split.folder, target_, split.name), exitCode) && exitCode != 0)
        Fail("    XCOPY failed with exit code " + std::to_string(exitCode) + ".");
    s_.processes.Sleep(300);

    if (s_.options.useSnapshot) {
        s_.reporter.WriteLog("    Committing snapshot...");
        if (!s_.vms.ExecVmCommand("deletesnapshot", path)) failed_ = true;
    } else {
        s_.reporter.WriteLog("    Resuming...");
        if (!s_.vms.ExecVmCommand("start", path)) failed_ = true;
    }
    s_.processes.Sleep(300);
    s_.reporter.WriteLog("    Done...");
    DelayAfter(entry);
}

// Only a delay (or wait) entry right after the VM's counts, and never the list's last entry (count - 2, as
// users' lists are written for); the delay's own check mark is not looked at.
void BackupRun::DelayAfter(std::optional<size_t> entry) {
    if (!entry || *entry + 2 >= s_.list.Count()) return;
    const std::string e = s_.list.Text(*entry + 1);
    // A wait entry counts as a delay of a tenth of its seconds: they are a limit, not a boot time.
    const bool wait = IsWaitText(e);
    if (!IsDelayText(e) && !wait) return;
    const std::string_view rest = wait ? WaitSeconds(e) : DelaySeconds(e);
    const auto seconds = DelayLength(rest);
    if (!seconds) {
        s_.reporter.WriteLog("   " + (wait ? InvalidWaitLine(e) : InvalidDelayLine(e)));
        return;
    }
    s_.reporter.ShowStatus("   Sleeping for " + std::string(rest) + (wait ? "/10" : "") + " seconds...");
    SleepMilliseconds(s_.processes, static_cast<uint64_t>(*seconds) * (wait ? 100 : 1000));
}

} // namespace

VmFolder SplitVmFolder(std::string_view vmPath) {
    const std::string_view directory = DirectoryPart(vmPath);
    VmFolder split;
    if (!directory.empty()) split.folder = std::string(directory.substr(0, directory.size() - 1));
    split.name = split.folder.substr(DirectoryPart(split.folder).size());
    return split;
}

bool UsableFolderName(std::string_view vmPath, const VmFolder& split) {
    // "D:x.vmx" has a directory part of "D:" and would yield F = N = "D", a folder relative to
    // wherever we run.
    const std::string_view directory = DirectoryPart(vmPath);
    return !split.name.empty() && split.name != "." && split.name != ".." && directory.ends_with('\\');
}

std::string BuildDelCommand(const std::string& target, const std::string& name) {
    return "cmd /c \"DEL /Q /F " + QuoteForCmd(target + name + "\\*.*") + "\"";
}

std::string BuildXcopyCommand(const std::string& folder, const std::string& target, const std::string& name) {
    return "cmd /c \"XCOPY /I /Y /C " + QuoteForCmd(folder) + " " + QuoteForCmd(target + name) + "\"";
}

BackupExitCode BackupRunningVms(const std::string& target, BackupServices& services) {
    // No Windows path holds a double quote, so such a target cannot exist either.
    if (target.empty() || ContainsDoubleQuote(target) || !services.files.DirectoryExists(target)) {
        services.dialogs.ShowMessage("ERROR: target Directory does not exist: " + target);
        return BackupNoTarget;
    }
    std::string d = target;
    if (d.back() != '\\') d += '\\';
    services.reporter.WriteLog("Backing up all running VMs to " + d + "...");

    const std::vector<std::string> running = services.vms.ListRunningVms();
    BackupRun run(d, services);
    for (size_t i = 0; i < running.size(); ++i)
        run.BackUp(running[i], i + 1, running.size());
    return run.Failed() ? BackupStepFailed : BackupSucceeded;
}

} // namespace tarnwick
