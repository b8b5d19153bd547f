#include "sequences/backup.h"

#include "common/paths.h"
#include "common/scope_exit.h"
#include "common/text_case.h"
#include "config/control_list.h"
#include "hypervisor/tool_commands.h"
#include "sequences/delay.h"

#include <map>
#include <set>

namespace tarnwick {

namespace {

using Listing = std::vector<BackupFolders::File>;

// What a copy is checked against: the VM folder's files as they were when the copy was taken, and the
// names whose size cannot be known (a file a running VM went on writing during the copy).
struct Expected {
    Listing files;
    std::set<std::string> anySize; // folded names
};

std::map<std::string, const BackupFolders::File*> ByName(const Listing& files) {
    std::map<std::string, const BackupFolders::File*> byName;
    for (const auto& f : files)
        byName.emplace(FoldCase(f.name), &f);
    return byName;
}

class BackupRun {
  public:
    BackupRun(const std::string& target, BackupServices& s) : target_(target), s_(s) {}

    void BackUp(const std::string& path, size_t number, size_t total);
    void Fail(const std::string& line) {
        s_.reporter.WriteLog(line);
        failed_ = true;
    }
    bool Failed() const { return failed_; }

  private:
    bool RunDosCommand(const std::string& command, const RunLimit& limit, uint32_t& exitCode);
    uint32_t LimitSeconds() const { return ToolTimeoutSeconds(s_.options).value_or(DefaultToolTimeout); }
    // A copy of many gigabytes may take far longer than any limit, so only a copy that stalls is ended.
    RunLimit CopyLimit(const std::string& staging) const {
        return RunLimit{LimitSeconds(), [this, staging] { return s_.files.FolderFileBytes(staging); }};
    }
    bool ClearLeftovers(const std::string& backup, const std::string& staging, const std::string& previous);
    std::optional<Expected> CopyInTwoPasses(const std::string& path, const std::string& folder,
                                            const std::string& staging);
    std::optional<Expected> CopyUnderSnapshot(const std::string& path, const std::string& folder,
                                              const std::string& staging);
    bool CopyWhatChanged(const std::string& folder, const Listing& before, const Listing& now,
                         const std::string& staging);
    void Thaw(const std::string& path, bool snapshot);
    bool Verify(const Expected& expected, const std::string& staging);
    bool Swap(const std::string& backup, const std::string& staging, const std::string& previous);
    void DelayAfter(std::optional<size_t> entry);

    const std::string& target_;
    BackupServices& s_;
    bool failed_ = false;
    std::map<std::string, std::string> usedNames_; // folded N -> the VM backed up into D + N
};

bool BackupRun::RunDosCommand(const std::string& command, const RunLimit& limit, uint32_t& exitCode) {
    s_.reporter.WriteLog("      DosCmd: " + command);
    exitCode = 0;
    switch (s_.processes.RunWithLimit(command, limit, exitCode)) {
    case RunEnd::Exited:
        return true;
    case RunEnd::TimedOut:
        Fail(limit.progress ? StalledLine(command, limit.seconds) : TimedOutLine(command, limit.seconds));
        return false;
    case RunEnd::NotStarted:
        break;
    }
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
        // The backup folder would be the target itself, and the copy would come from the wrong place.
        Fail("    No usable folder name for this VM; skipping so that no backup is deleted...");
        return;
    }
    for (const std::string_view suffix : {StagingSuffix, PreviousSuffix}) {
        if (!EndsWithIgnoringCase(split.name, suffix)) continue;
        Fail("    Folder name ends in " + std::string(suffix) +
             ", which the backup keeps for its own work; not backed up so that no copy is deleted...");
        return;
    }
    const auto [used, fresh] = usedNames_.try_emplace(FoldCase(split.name), path);
    if (!fresh) {
        Fail("    Folder name clash: " + used->second + " was backed up into " + target_ + split.name +
             " in this run; skipping " + path + " so that its copy stays...");
        return;
    }
    const std::string folder = s_.folders.FullPath(split.folder);
    const std::string backup = target_ + split.name;
    const std::string staging = backup + std::string(StagingSuffix);
    const std::string previous = backup + std::string(PreviousSuffix);
    for (const std::string* ours : {&backup, &staging, &previous}) {
        if (!folder.empty() && !FoldersOverlap(folder, *ours)) continue;
        Fail("    The backup folder " + *ours + " and the VM's own folder " + split.folder +
             " overlap; not backed up so that no VM file is touched...");
        return;
    }
    if (!ClearLeftovers(backup, staging, previous)) return;

    // However the copy ends, a staging folder that did not become the copy goes.
    bool swapped = false;
    const ScopeExit dropStaging([&] {
        if (!swapped && s_.files.DirectoryExists(staging)) s_.folders.RemoveFolder(staging);
    });
    const auto expected = s_.options.useSnapshot ? CopyUnderSnapshot(path, folder, staging)
                                                 : CopyInTwoPasses(path, folder, staging);
    if (expected && Verify(*expected, staging)) swapped = Swap(backup, staging, previous);
    s_.reporter.WriteLog("    Done...");
    DelayAfter(entry);
}

// A run that was cut short (power cut, logoff) leaves at most a staging folder and, between the two
// renames of the swap, the previous copy moved aside. The previous copy is put back; a staging folder
// is never trusted.
bool BackupRun::ClearLeftovers(const std::string& backup, const std::string& staging,
                               const std::string& previous) {
    if (s_.files.DirectoryExists(previous)) {
        if (!s_.files.DirectoryExists(backup)) {
            s_.reporter.WriteLog("    Putting back the previous copy that an interrupted run left in " +
                                 previous + "...");
            if (!s_.folders.RenameFolder(previous, backup)) {
                Fail("    It cannot be put back; not backed up so that it stays.");
                return false;
            }
        } else {
            s_.reporter.WriteLog("    Removing an older copy that an interrupted run left in " + previous +
                                 "...");
            if (!s_.folders.RemoveFolder(previous)) {
                Fail("    It cannot be removed; not backed up.");
                return false;
            }
        }
    }
    if (s_.files.DirectoryExists(staging)) {
        s_.reporter.WriteLog("    Removing the unfinished copy that an interrupted run left in " + staging +
                             "...");
        if (!s_.folders.RemoveFolder(staging)) {
            Fail("    It cannot be removed; not backed up.");
            return false;
        }
    }
    return true;
}

// Suspend form: the whole folder is copied while the VM runs, and only what changed meanwhile while it
// is suspended, so the downtime follows what changed rather than the size of the VM.
std::optional<Expected> BackupRun::CopyInTwoPasses(const std::string& path, const std::string& folder,
                                                   const std::string& staging) {
    const std::optional<Listing> before = s_.folders.ListFiles(folder);
    if (!before) {
        Fail("    The VM's folder " + folder + " cannot be read; not backed up.");
        return std::nullopt;
    }
    s_.reporter.WriteLog("    Copying while the VM runs (first pass)...");
    uint32_t exitCode = 0;
    // What the first pass misses, the second copies whole.
    if (RunDosCommand(BuildXcopyCommand(folder, staging), CopyLimit(staging), exitCode) && exitCode != 0)
        s_.reporter.WriteLog("      XCOPY ended with exit code " + std::to_string(exitCode) +
                             "; the second pass copies what is missing.");

    s_.reporter.WriteLog("    Suspending...");
    // A failed suspend may still have stopped the VM, and starting a running VM does no harm.
    ScopeExit resume([&] { Thaw(path, false); });
    const bool suspended = s_.vms.ExecVmCommand("suspend", path);
    std::optional<Expected> expected;
    if (!suspended) {
        Fail("    Suspend failed; the previous copy stays.");
    } else {
        s_.processes.Sleep(300);
        const std::optional<Listing> now = s_.folders.ListFiles(folder);
        if (!now)
            Fail("    The VM's folder " + folder + " cannot be read; the previous copy stays.");
        else if (CopyWhatChanged(folder, *before, *now, staging))
            expected = Expected{*now, {}};
        s_.processes.Sleep(300);
    }
    resume.Dismiss();
    Thaw(path, false);
    return expected;
}

bool BackupRun::CopyWhatChanged(const std::string& folder, const Listing& before, const Listing& now,
                                const std::string& staging) {
    const Listing staged = s_.folders.ListFiles(staging).value_or(Listing());
    const auto current = ByName(now);
    for (const auto& f : staged)
        if (!current.contains(FoldCase(f.name))) s_.files.DeleteFile(staging + "\\" + f.name);
    std::vector<std::string> changed = ChangedFiles(before, now, staged);
    s_.reporter.WriteLog("    Copying what changed, with the VM suspended (second pass): " +
                         std::to_string(changed.size()) + " of " + std::to_string(now.size()) + " files...");
    // Without the folder (the first pass made nothing) the second copies the whole folder.
    std::vector<std::string> commands;
    if (!s_.files.DirectoryExists(staging))
        commands.push_back(BuildXcopyCommand(folder, staging));
    else if (!changed.empty())
        commands = BuildFileCopyCommands(folder, changed, staging);
    for (const std::string& command : commands) {
        uint32_t exitCode = 0;
        if (!RunDosCommand(command, CopyLimit(staging), exitCode)) return false;
        if (exitCode != 0) {
            Fail("    Copying failed with exit code " + std::to_string(exitCode) +
                 "; the previous copy stays.");
            return false;
        }
    }
    return true;
}

std::optional<Expected> BackupRun::CopyUnderSnapshot(const std::string& path, const std::string& folder,
                                                     const std::string& staging) {
    s_.reporter.WriteLog("    Creating snapshot...");
    // No snapshot was taken, so none is deleted: that name may be an older one of the user's.
    if (!s_.vms.ExecVmCommand("snapshot", path)) {
        Fail("    Snapshot failed; the previous copy stays.");
        return std::nullopt;
    }
    ScopeExit commit([&] { Thaw(path, true); });
    s_.processes.Sleep(300);
    std::optional<Expected> expected;
    const std::optional<Listing> before = s_.folders.ListFiles(folder);
    s_.reporter.WriteLog("    Copying...");
    uint32_t exitCode = 0;
    if (!before) {
        Fail("    The VM's folder " + folder + " cannot be read; the previous copy stays.");
    } else if (RunDosCommand(BuildXcopyCommand(folder, staging), CopyLimit(staging), exitCode)) {
        if (exitCode != 0) {
            Fail("    XCOPY failed with exit code " + std::to_string(exitCode) +
                 "; the previous copy stays.");
        } else if (const std::optional<Listing> after = s_.folders.ListFiles(folder)) {
            // The VM runs on and writes into its snapshot's files: their copies are whatever the copy met.
            expected = Expected{*after, {}};
            const auto earlier = ByName(*before);
            for (const auto& f : *after) {
                const auto was = earlier.find(FoldCase(f.name));
                if (was == earlier.end() || was->second->size != f.size ||
                    was->second->modified != f.modified)
                    expected->anySize.insert(FoldCase(f.name));
            }
        } else {
            Fail("    The VM's folder " + folder + " cannot be read; the previous copy stays.");
        }
    }
    s_.processes.Sleep(300);
    commit.Dismiss();
    Thaw(path, true);
    return expected;
}

// Resumes the VM, or deletes its snapshot. Also runs while an error leaves the copy, so nothing of it
// may throw past here. A VM left suspended is down until someone notices, so its resume is tried again.
void BackupRun::Thaw(const std::string& path, bool snapshot) {
    constexpr int ResumeAttempts = 3;
    try {
        s_.reporter.WriteLog(snapshot ? "    Committing snapshot..." : "    Resuming...");
        for (int attempt = 1;; ++attempt) {
            if (s_.vms.ExecVmCommand(snapshot ? "deletesnapshot" : "start", path)) break;
            failed_ = true;
            if (snapshot || attempt == ResumeAttempts) break;
            s_.reporter.WriteLog("    Resume failed; trying again...");
            s_.processes.Sleep(1000);
        }
        s_.processes.Sleep(300);
    } catch (const std::exception& e) {
        failed_ = true;
        s_.reporter.WriteLog(std::string("    ") + (snapshot ? "Committing" : "Resuming") +
                             " failed: " + e.what());
    }
}

bool BackupRun::Verify(const Expected& expected, const std::string& staging) {
    const std::optional<Listing> staged = s_.folders.ListFiles(staging);
    if (!staged) {
        Fail("    Copy incomplete: " + staging + " cannot be read; the previous copy stays.");
        return false;
    }
    const auto copies = ByName(*staged);
    for (const auto& f : expected.files) {
        const std::string key = FoldCase(f.name);
        const auto copy = copies.find(key);
        if (copy == copies.end()) {
            Fail("    Copy incomplete: " + f.name + " is missing; the previous copy stays.");
            return false;
        }
        if (copy->second->size != f.size && !expected.anySize.contains(key)) {
            Fail("    Copy incomplete: " + f.name + " holds " + std::to_string(copy->second->size) + " of " +
                 std::to_string(f.size) + " bytes; the previous copy stays.");
            return false;
        }
    }
    return true;
}

// The previous copy is moved aside before the new one takes its name, and deleted only after.
bool BackupRun::Swap(const std::string& backup, const std::string& staging, const std::string& previous) {
    const bool hadCopy = s_.files.DirectoryExists(backup);
    if (hadCopy && !s_.folders.RenameFolder(backup, previous)) {
        Fail("    The previous copy " + backup +
             " cannot be moved aside; it stays, and the new copy is dropped.");
        return false;
    }
    if (!s_.folders.RenameFolder(staging, backup)) {
        if (hadCopy) s_.folders.RenameFolder(previous, backup); // else the next run puts it back
        Fail("    The new copy cannot take the name " + backup + "; the previous copy stays.");
        return false;
    }
    if (hadCopy && !s_.folders.RemoveFolder(previous))
        Fail("    The previous copy in " + previous + " could not be removed; the next run removes it.");
    return true;
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

std::string WithoutTrailingBackslashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '\\')
        path.remove_suffix(1);
    return std::string(path);
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

bool FoldersOverlap(std::string_view a, std::string_view b) {
    const std::string x = FoldCase(WithoutTrailingBackslashes(a)) + "\\";
    const std::string y = FoldCase(WithoutTrailingBackslashes(b)) + "\\";
    return x.starts_with(y) || y.starts_with(x);
}

std::string BuildXcopyCommand(const std::string& folder, const std::string& destination) {
    return "cmd /c \"XCOPY /I /Y /C " + QuoteForCmd(folder) + " " + QuoteForCmd(destination) + "\"";
}

std::vector<std::string> BuildFileCopyCommands(const std::string& folder,
                                               const std::vector<std::string>& names,
                                               const std::string& destination) {
    // cmd takes 8191 characters; a line stops growing well before that.
    constexpr size_t LineLimit = 4000;
    std::vector<std::string> lines;
    std::string copies;
    for (const std::string& name : names) {
        const std::string copy =
            "COPY /B /Y " + QuoteForCmd(folder + "\\" + name) + " " + QuoteForCmd(destination + "\\" + name);
        if (!copies.empty() && copies.size() + copy.size() + 4 > LineLimit) {
            lines.push_back("cmd /c \"" + copies + "\"");
            copies.clear();
        }
        copies += (copies.empty() ? "" : " && ") + copy;
    }
    if (!copies.empty()) lines.push_back("cmd /c \"" + copies + "\"");
    return lines;
}

std::vector<std::string> ChangedFiles(const std::vector<BackupFolders::File>& before,
                                      const std::vector<BackupFolders::File>& now,
                                      const std::vector<BackupFolders::File>& staged) {
    const auto earlier = ByName(before);
    const auto copies = ByName(staged);
    std::vector<std::string> changed;
    for (const auto& f : now) {
        const std::string key = FoldCase(f.name);
        const auto was = earlier.find(key);
        const auto copy = copies.find(key);
        if (was == earlier.end() || was->second->size != f.size || was->second->modified != f.modified ||
            copy == copies.end() || copy->second->size != f.size)
            changed.push_back(f.name);
    }
    return changed;
}

template <class Write> void BackupLog::Keep(Write write) {
    try {
        if (unreported_ > 0) {
            log_.WriteLog("    (" + std::to_string(unreported_) + (unreported_ == 1 ? " line" : " lines") +
                          " of this backup could not be written to the log)");
            unreported_ = 0;
        }
        write();
    } catch (const IoError&) {
        ++lost_;
        ++unreported_;
    }
}

void BackupLog::WriteLog(const std::string& msg) {
    Keep([&] { log_.WriteLog(msg); });
}

void BackupLog::Flush() {
    Keep([] {});
}

void BackupLog::ShowStatus(const std::string& msg) {
    Keep([&] { log_.ShowStatus(msg); });
}

BackupExitCode BackupRunningVms(const std::string& target, BackupServices& services) {
    // No Windows path holds a double quote, so such a target cannot exist either.
    if (target.empty() || ContainsDoubleQuote(target) || !services.files.DirectoryExists(target)) {
        services.dialogs.ShowMessage("ERROR: target Directory does not exist: " + target);
        return BackupNoTarget;
    }
    // A relative target would name other folders once the VMs' own are compared with it.
    std::string d = services.folders.FullPath(target);
    if (d.empty()) {
        services.dialogs.ShowMessage("ERROR: target Directory does not exist: " + target);
        return BackupNoTarget;
    }
    if (d.back() != '\\') d += '\\';
    BackupLog& log = services.reporter;
    log.WriteLog("Backing up all running VMs to " + d + "...");

    BackupRun run(d, services);
    const std::optional<std::vector<std::string>> running = services.vms.ListRunningVms();
    if (!running) run.Fail("The running VMs could not be listed; nothing was backed up.");
    for (size_t i = 0; running && i < running->size(); ++i) {
        try {
            run.BackUp((*running)[i], i + 1, running->size());
        } catch (const std::exception& e) {
            // The VM was resumed on the way out; the next one gets its turn.
            run.Fail(std::string("    Failed: ") + e.what());
        }
    }
    log.Flush();
    return run.Failed() || log.LostLines() > 0 ? BackupStepFailed : BackupSucceeded;
}

} // namespace tarnwick
