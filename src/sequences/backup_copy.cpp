#include "sequences/backup_copy.h"

#include "common/paths.h"
#include "common/scope_exit.h"

#include <algorithm>

namespace tarnwick {

namespace {

uint64_t Bytes(const FileListing& files) {
    uint64_t bytes = 0;
    for (const auto& f : files)
        bytes += f.size;
    return bytes;
}

} // namespace

bool VmCopier::RunDosCommand(const std::string& command, const RunLimit& limit, uint32_t& exitCode,
                             bool limitFails) {
    run_.s.reporter.WriteLog("      DosCmd: " + command);
    exitCode = 0;
    switch (run_.s.processes.RunWithLimit(command, limit, exitCode)) {
    case RunEnd::Exited:
        return true;
    case RunEnd::TimedOut: {
        const std::string line =
            limit.progress ? StalledLine(command, limit.seconds) : TimedOutLine(command, limit.seconds);
        if (!limitFails) {
            run_.s.reporter.WriteLog(line);
            return false;
        }
        run_.Fail(line);
        return false;
    }
    case RunEnd::NotStarted:
        break;
    }
    run_.Fail("      (the command could not be started)");
    return false;
}

RunLimit VmCopier::CopyLimit(const std::string& staging) const {
    return RunLimit{run_.LimitSeconds(), [this, staging] {
                        const uint64_t bytes = run_.s.files.FolderFileBytes(staging);
                        run_.progress.Copied(bytes);
                        return bytes;
                    }};
}

std::optional<ExpectedCopy> VmCopier::InTwoPasses(const std::string& path, const std::string& folder,
                                                  const std::string& staging) {
    BackupServices& s = run_.s;
    const std::optional<FileListing> before = s.folders.ListFiles(folder);
    if (!before) {
        run_.Fail("    The VM's folder " + folder + " cannot be read; not backed up.");
        return std::nullopt;
    }
    s.reporter.WriteLog("    Copying while the VM runs (first pass)...");
    run_.progress.Stage(BackupStage::FirstPass, Bytes(*before));
    uint32_t exitCode = 0;
    // What the first pass misses or leaves torn (ended at the limit mid-file), the second copies whole: the
    // staged files are held to the listing by size and last-write time.
    if (!RunDosCommand(BuildXcopyCommand(folder, staging), CopyLimit(staging), exitCode, false))
        s.reporter.WriteLog("      The second pass copies again what the first left unfinished.");
    else if (exitCode != 0)
        s.reporter.WriteLog("      XCOPY ended with exit code " + std::to_string(exitCode) +
                            "; the second pass copies what is missing.");
    tally_.firstPass = s.files.FolderFileBytes(staging);

    s.reporter.WriteLog("    Suspending...");
    run_.progress.Stage(BackupStage::Suspending);
    tally_.downFrom = s.processes.TickMilliseconds();
    // Whatever throws from here on may leave the VM down, and starting a running VM does no harm.
    ScopeExit resume([&] { Thaw(path, false); });
    const uint64_t endedBefore = s.vms.RunsEndedAtLimit();
    const bool suspended = s.vms.ExecVmCommand("suspend", path);
    bool ours = suspended;
    std::optional<ExpectedCopy> expected;
    if (!suspended) {
        run_.Fail("    Suspend failed; the previous copy stays.");
        ours = DownByOurSuspend(path, s.vms.RunsEndedAtLimit() > endedBefore);
    } else {
        s.processes.Sleep(300);
        const std::optional<FileListing> now = s.folders.ListFiles(folder);
        if (!now)
            run_.Fail("    The VM's folder " + folder + " cannot be read; the previous copy stays.");
        else if (CopyWhatChanged(folder, *before, *now, staging))
            expected = ExpectedCopy{*now, {}};
        s.processes.Sleep(300);
    }
    resume.Dismiss();
    if (ours) Thaw(path, false);
    if (suspended) s.reporter.WriteLog(CopiedLine(tally_));
    return expected;
}

// Only a suspend ended at its limit may have taken the VM down before it failed; one the tool refused
// found it down already (another copy of the program, the user or a logoff suspended it), and a VM
// that still runs needs no start.
bool VmCopier::DownByOurSuspend(const std::string& path, bool endedAtLimit) {
    BackupServices& s = run_.s;
    const std::optional<std::vector<std::string>> running = s.vms.ListRunningVms();
    if (!running) return endedAtLimit;
    if (std::any_of(running->begin(), running->end(),
                    [&](const std::string& vm) { return SameTextIgnoringCase(vm, path); }))
        return false;
    if (endedAtLimit) return true;
    s.reporter.WriteLog("    The VM no longer runs, and this run did not suspend it; it is left as it is.");
    return false;
}

bool VmCopier::CopyWhatChanged(const std::string& folder, const FileListing& before, const FileListing& now,
                               const std::string& staging) {
    BackupServices& s = run_.s;
    const FileListing staged = s.folders.ListFiles(staging).value_or(FileListing());
    const auto current = ByName(now);
    for (const auto& f : staged)
        if (!current.contains(FoldCase(f.name)) && f.name != MarkerName)
            s.files.DeleteFile(staging + "\\" + f.name);
    std::vector<std::string> changed = ChangedFiles(before, now, staged);
    s.reporter.WriteLog("    Copying what changed, with the VM suspended (second pass): " +
                        std::to_string(changed.size()) + " of " + std::to_string(now.size()) + " files...");
    uint64_t changedBytes = 0;
    for (const std::string& name : changed)
        changedBytes += current.at(FoldCase(name))->size;
    run_.progress.Stage(BackupStage::SecondPass, changedBytes);
    return CopyFiles(folder, changed, now, staging);
}

// In this process, one file after the other: the VM waits for the bytes, not for a program started per
// copy. The first failure ends the pass; the copy is not checked then, and never swapped in.
bool VmCopier::CopyFiles(const std::string& folder, const std::vector<std::string>& names,
                         const FileListing& now, const std::string& staging) {
    BackupServices& s = run_.s;
    const uint32_t seconds = run_.LimitSeconds();
    // The runner's shortest wait hands what the window has waiting to its own dispatch, as every other
    // wait of the run does.
    const auto answer = [&s] { s.processes.Sleep(1); };
    const auto sizes = ByName(now);
    uint64_t done = 0; // bytes of the files already copied
    const auto copied = [this, &done](uint64_t bytes) {
        tally_.secondPass = done + bytes;
        run_.progress.Copied(tally_.secondPass);
    };
    for (const std::string& name : names) {
        const std::string copy = "Copy: \"" + folder + "\\" + name + "\" \"" + staging + "\\" + name + "\"";
        s.reporter.WriteLog("      " + copy);
        const BackupFolders::CopyResult result =
            s.folders.CopyOneFile(folder + "\\" + name, staging + "\\" + name, seconds, answer, copied);
        switch (result.end) {
        case BackupFolders::CopyEnd::Copied:
            if (const auto f = sizes.find(FoldCase(name)); f != sizes.end()) done += f->second->size;
            copied(0);
            continue;
        case BackupFolders::CopyEnd::Stalled:
            run_.Fail(StalledLine(copy, seconds));
            return false;
        case BackupFolders::CopyEnd::Failed:
            break;
        }
        run_.Fail("    Copying failed with error " + std::to_string(result.error) +
                  "; the previous copy stays.");
        return false;
    }
    return true;
}

std::optional<ExpectedCopy> VmCopier::UnderSnapshot(const std::string& path, const std::string& folder,
                                                    const std::string& staging) {
    BackupServices& s = run_.s;
    s.reporter.WriteLog("    Creating snapshot...");
    // No snapshot was taken, so none is deleted: that name may be an older one of the user's.
    if (!s.vms.ExecVmCommand("snapshot", path)) {
        run_.Fail("    Snapshot failed; the previous copy stays.");
        return std::nullopt;
    }
    ScopeExit commit([&] { Thaw(path, true); });
    s.processes.Sleep(300);
    std::optional<ExpectedCopy> expected;
    const std::optional<FileListing> before = s.folders.ListFiles(folder);
    s.reporter.WriteLog("    Copying...");
    run_.progress.Stage(BackupStage::UnderSnapshot, before ? Bytes(*before) : 0);
    uint32_t exitCode = 0;
    if (!before) {
        run_.Fail("    The VM's folder " + folder + " cannot be read; the previous copy stays.");
    } else if (RunDosCommand(BuildXcopyCommand(folder, staging), CopyLimit(staging), exitCode)) {
        if (exitCode != 0) {
            run_.Fail("    XCOPY failed with exit code " + std::to_string(exitCode) +
                      "; the previous copy stays.");
        } else if (const std::optional<FileListing> after = s.folders.ListFiles(folder)) {
            // The VM runs on and writes into its snapshot's files: their copies are whatever the copy met.
            expected = ExpectedCopy{*after, {}};
            const auto earlier = ByName(*before);
            for (const auto& f : *after) {
                const auto was = earlier.find(FoldCase(f.name));
                if (was == earlier.end() || was->second->size != f.size ||
                    was->second->modified != f.modified)
                    expected->anySize.insert(FoldCase(f.name));
            }
        } else {
            run_.Fail("    The VM's folder " + folder + " cannot be read; the previous copy stays.");
        }
    }
    s.processes.Sleep(300);
    commit.Dismiss();
    Thaw(path, true);
    if (before) s.reporter.WriteLog(CopiedUnderSnapshotLine(s.files.FolderFileBytes(staging)));
    return expected;
}

// Resumes the VM, or deletes its snapshot. Also runs while an error leaves the copy, so nothing of it
// may throw past here. A VM left suspended is down until someone notices, so its resume is tried again.
void VmCopier::Thaw(const std::string& path, bool snapshot) {
    constexpr int ResumeAttempts = 3;
    BackupServices& s = run_.s;
    try {
        s.reporter.WriteLog(snapshot ? "    Committing snapshot..." : "    Resuming...");
        run_.progress.Stage(snapshot ? BackupStage::Committing : BackupStage::Resuming);
        for (int attempt = 1;; ++attempt) {
            if (s.vms.ExecVmCommand(snapshot ? "deletesnapshot" : "start", path)) {
                tally_.downTo = s.processes.TickMilliseconds();
                tally_.resumed = true;
                break;
            }
            run_.MarkFailed();
            if (snapshot || attempt == ResumeAttempts) break;
            s.reporter.WriteLog("    Resume failed; trying again...");
            s.processes.Sleep(1000);
        }
        s.processes.Sleep(300);
    } catch (const std::exception& e) {
        run_.MarkFailed();
        s.reporter.WriteLog(std::string("    ") + (snapshot ? "Committing" : "Resuming") +
                            " failed: " + e.what());
    }
}

std::string BuildXcopyCommand(const std::string& folder, const std::string& destination) {
    // /H: hidden and system files too, which XCOPY leaves out otherwise; /K: with their attributes.
    return "cmd /c \"XCOPY /I /Y /C /H /K " + QuoteForCmd(folder) + " " + QuoteForCmd(destination) + "\"";
}

std::vector<std::string> ChangedFiles(const FileListing& before, const FileListing& now,
                                      const FileListing& staged) {
    const auto earlier = ByName(before);
    const auto copies = ByName(staged);
    std::vector<std::string> changed;
    for (const auto& f : now) {
        const std::string key = FoldCase(f.name);
        const auto was = earlier.find(key);
        const auto copy = copies.find(key);
        if (was == earlier.end() || was->second->size != f.size || was->second->modified != f.modified ||
            copy == copies.end() || copy->second->size != f.size ||
            !SameWriteTime(copy->second->modified, f.modified))
            changed.push_back(f.name);
    }
    return changed;
}

} // namespace tarnwick
