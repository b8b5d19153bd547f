#pragma once
// The two ways a running VM's folder is copied into its staging folder: in two passes around a suspend,
// or under a snapshot. Either leaves the VM running again (resumed, or its snapshot deleted) on every
// path, and says what the copy must hold for the staging protocol to check.
#include "sequences/backup_context.h"
#include "sequences/backup_progress.h"
#include "sequences/backup_staging.h"

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// XCOPY of a whole folder (its top-level files) into a folder, created when missing.
std::string BuildXcopyCommand(const std::string& folder, const std::string& destination);
// Which files a second pass copies: those of now that are new since before, or whose size or stamp
// changed, and those the staging folder lacks or holds at another size or stamp (a copy ended mid-file).
std::vector<std::string> ChangedFiles(const FileListing& before, const FileListing& now,
                                      const FileListing& staged);

class VmCopier {
  public:
    explicit VmCopier(BackupContext& run) : run_(run) {}

    // Suspend form: the whole folder is copied while the VM runs, and only what changed meanwhile while
    // it is suspended, so the downtime follows what changed rather than the size of the VM.
    std::optional<ExpectedCopy> InTwoPasses(const std::string& path, const std::string& folder,
                                            const std::string& staging);
    // Snapshot form: the VM runs on throughout and writes into its snapshot's files.
    std::optional<ExpectedCopy> UnderSnapshot(const std::string& path, const std::string& folder,
                                              const std::string& staging);

  private:
    // False when the command did not run to its end; only a start that failed, or an end at the limit
    // where limitFails, fails the run.
    bool RunDosCommand(const std::string& command, const RunLimit& limit, uint32_t& exitCode,
                       bool limitFails = true);
    // A copy of many gigabytes may take far longer than any limit, so only a copy that stalls is ended.
    RunLimit CopyLimit(const std::string& staging) const;
    bool CopyWhatChanged(const std::string& folder, const FileListing& before, const FileListing& now,
                         const std::string& staging);
    bool CopyFiles(const std::string& folder, const std::vector<std::string>& names, const FileListing& now,
                   const std::string& staging);
    void Thaw(const std::string& path, bool snapshot);
    // After a failed suspend: whether the VM is down because of it, so that this run resumes it.
    bool DownByOurSuspend(const std::string& path, bool endedAtLimit);

    BackupContext& run_;
    CopyTally tally_;
};

} // namespace tarnwick
