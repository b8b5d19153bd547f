#include "sequences/backup.h"

#include "common/paths.h"
#include "sequences/backup_context.h"
#include "sequences/backup_copy.h"
#include "sequences/backup_staging.h"
#include "sequences/delay.h"

#include <map>

namespace tarnwick {

namespace {

// One run over the running VMs: which are copied, into which folder, and the delays between them.
class BackupRun {
  public:
    BackupRun(const std::string& target, BackupServices& s) : target_(target), run_(s) {}

    // The folders of the running VMs, which no folder of the backup may be, hold or lie in. A VM at a
    // drive's root has no folder of its own to keep.
    void KeepClearOf(const std::vector<std::string>& running) {
        for (const std::string& path : running) {
            const VmFolder split = SplitVmFolder(path);
            if (!ContainsDoubleQuote(path) && UsableFolderName(path, split))
                runningFolders_.emplace_back(path, run_.s.folders.FullPath(split.folder));
        }
    }

    void BackUp(const std::string& path, size_t number, size_t total);
    void Fail(const std::string& line) { run_.Fail(line); }
    bool Failed() const { return run_.Failed(); }

  private:
    // The VM's folder and its backup folder, or nullopt (logged) when the VM must not be copied.
    std::optional<VmFolder> ChooseFolders(const std::string& path);
    void DelayAfter(std::optional<size_t> entry);

    const std::string& target_;
    BackupContext run_;
    std::map<std::string, std::string> usedNames_; // folded folder name -> the VM backed up under it
    std::vector<std::pair<std::string, std::string>> runningFolders_; // VM path, its folder's full path
};

void BackupRun::BackUp(const std::string& path, size_t number, size_t total) {
    BackupServices& s = run_.s;
    s.reporter.ShowStatus("  Backing up VM " + std::to_string(number) + "/" + std::to_string(total) + ": " +
                          path);
    run_.progress.Vm(number, total, path);
    const std::optional<size_t> entry = s.list.FindText(path);
    if (!entry && !s.options.bkpAll) {
        s.reporter.WriteLog("    Not in control list; skipping...");
        return;
    }
    if (entry && *entry < s.list.Count() && !s.list.Enabled(*entry)) {
        s.reporter.WriteLog("    Disabled in control list; skipping...");
        return;
    }

    // From here on the VM is selected: whatever keeps it from being copied fails the run.
    const std::optional<VmFolder> split = ChooseFolders(path);
    if (!split) return;
    const std::string folder = s.folders.FullPath(split->folder);
    const std::string backup = target_ + split->name;
    // One run per backup folder: another run's staging folder is no leftover to clear. Declared first, so
    // that it is let go of only once the staging folder is gone.
    BackupFolders::LockResult lock;
    StagedCopy staged(run_, backup);
    for (const std::string& ours : staged.Folders()) {
        if (folder.empty() || FoldersOverlap(folder, ours)) {
            Fail("    The backup folder " + ours + " and the VM's own folder " + split->folder +
                 " overlap; not backed up so that no VM file is touched...");
            return;
        }
        for (const auto& [other, otherFolder] : runningFolders_) {
            if (otherFolder.empty() || !FoldersOverlap(otherFolder, ours)) continue;
            Fail("    The backup folder " + ours + " and the folder " + otherFolder + " of the running VM " +
                 other + " overlap; not backed up so that no VM file is touched...");
            return;
        }
    }
    const std::string lockPath = backup + std::string(LockSuffix);
    lock = s.folders.TakeLock(lockPath);
    if (!lock.lock) {
        Fail(lock.heldByAnother
                 ? "    Another run" + (lock.holder.empty() ? "" : " (process " + lock.holder + ")") +
                       " backs up into " + backup + " and holds its lock " + lockPath +
                       "; skipped, its folders are left to it."
                 : "    The lock " + lockPath + " cannot be made; not backed up.");
        return;
    }
    if (!staged.Prepare()) return;

    VmCopier copier(run_);
    const auto expected = s.options.useSnapshot ? copier.UnderSnapshot(path, folder, staged.Staging())
                                                : copier.InTwoPasses(path, folder, staged.Staging());
    if (expected) staged.Commit(*expected);
    s.reporter.WriteLog("    Done...");
    run_.progress.Stage(BackupStage::Done);
    DelayAfter(entry);
}

std::optional<VmFolder> BackupRun::ChooseFolders(const std::string& path) {
    if (ContainsDoubleQuote(path)) {
        Fail("    Path holds a double quote; not backed up.");
        return std::nullopt;
    }
    const VmFolder split = SplitVmFolder(path);
    if (!UsableFolderName(path, split)) {
        // The backup folder would be the target itself, and the copy would come from the wrong place.
        Fail("    No usable folder name for this VM; skipping so that no backup is deleted...");
        return std::nullopt;
    }
    // Its backup folder would be another VM's staging or set-aside folder.
    if (const std::string own = OwnSuffix(split.name); !own.empty()) {
        Fail("    Folder name ends in " + own +
             ", which the backup keeps for its own work; not backed up so that no copy is deleted...");
        return std::nullopt;
    }
    const auto [used, fresh] = usedNames_.try_emplace(FoldCase(split.name), path);
    if (!fresh) {
        Fail("    Folder name clash: " + used->second + " was backed up into " + target_ + split.name +
             " in this run; skipping " + path + " so that its copy stays...");
        return std::nullopt;
    }
    return split;
}

// Only a delay (or wait) entry right after the VM's counts, and never the list's last entry (count - 2, as
// users' lists are written for); the delay's own check mark is not looked at.
void BackupRun::DelayAfter(std::optional<size_t> entry) {
    BackupServices& s = run_.s;
    if (!entry || *entry + 2 >= s.list.Count()) return;
    const std::string next = s.list.Text(*entry + 1);
    // A wait entry counts as a delay of a tenth of its seconds: they are a limit, not a boot time.
    const bool wait = IsWaitText(next);
    if (!IsDelayText(next) && !wait) return;
    const std::string_view rest = wait ? WaitSeconds(next) : DelaySeconds(next);
    const auto seconds = DelayLength(rest);
    if (!seconds) {
        s.reporter.WriteLog("   " + (wait ? InvalidWaitLine(next) : InvalidDelayLine(next)));
        return;
    }
    s.reporter.ShowStatus("   Sleeping for " + std::string(rest) + (wait ? "/10" : "") + " seconds...");
    SleepMilliseconds(s.processes,
                      wait ? TenthOfDelayMilliseconds(*seconds) : static_cast<uint64_t>(*seconds) * 1000);
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
    // "D:x.vmx" has a directory part of "D:" and would yield "D" as both folder and name, a folder
    // relative to wherever we run.
    const std::string_view directory = DirectoryPart(vmPath);
    return !split.name.empty() && split.name != "." && split.name != ".." && directory.ends_with('\\');
}

bool FoldersOverlap(std::string_view a, std::string_view b) {
    const std::string x = FoldCase(WithoutTrailingBackslashes(a)) + "\\";
    const std::string y = FoldCase(WithoutTrailingBackslashes(b)) + "\\";
    return x.starts_with(y) || y.starts_with(x);
}

BackupExitCode BackupRunningVms(const std::string& target, BackupServices& services) {
    // No Windows path holds a double quote, so such a target cannot exist either.
    if (target.empty() || ContainsDoubleQuote(target) || !services.files.DirectoryExists(target)) {
        services.dialogs.ShowMessage("ERROR: target Directory does not exist: " + target);
        return BackupNoTarget;
    }
    // A relative target would name other folders once the VMs' own are compared with it.
    std::string targetDir = services.folders.FullPath(target);
    if (targetDir.empty()) {
        services.dialogs.ShowMessage("ERROR: target Directory does not exist: " + target);
        return BackupNoTarget;
    }
    if (targetDir.back() != '\\') targetDir += '\\';
    BackupLog& log = services.reporter;
    log.WriteLog("Backing up all running VMs to " + targetDir + "...");

    BackupRun run(targetDir, services);
    const std::optional<std::vector<std::string>> running = services.vms.ListRunningVms();
    if (!running)
        run.Fail("The running VMs could not be listed; nothing was backed up.");
    else
        run.KeepClearOf(*running);
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
