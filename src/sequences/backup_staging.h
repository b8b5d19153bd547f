#pragma once
// The staging protocol of one VM's copy: the copy is made in a staging folder beside the backup folder,
// checked against the VM's folder, and only then swapped in. A run cut short (power cut, logoff) leaves
// at most the staging folder and, between the two renames of the swap, the previous copy moved aside;
// the next run puts those right before it copies the VM.
#include "sequences/backup_context.h"

#include <set>
#include <string>
#include <string_view>

namespace tarnwick {

// Where a VM's copy lives while it is made, and where the previous copy waits during the swap. A VM
// whose own folder name ends so is refused: its backup folder would be another VM's staging folder.
inline constexpr std::string_view StagingSuffix = ".partial";
inline constexpr std::string_view PreviousSuffix = ".old";

// What a copy is checked against: the VM folder's files as they were when the copy was taken, and the
// names whose size cannot be known (a file a running VM went on writing during the copy).
struct ExpectedCopy {
    FileListing files;
    std::set<std::string> anySize; // folded names
};

class StagedCopy {
  public:
    // backup: the folder that holds the VM's copy, the target's folder named after the VM's.
    StagedCopy(BackupContext& run, const std::string& backup);
    // Once the leftovers are cleared, a staging folder that did not become the copy goes, however the
    // copy ended.
    ~StagedCopy();
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;

    const std::string& Backup() const { return backup_; }
    const std::string& Staging() const { return staging_; }
    const std::string& Previous() const { return previous_; }

    // Puts back a previous copy that an interrupted run moved aside, and removes what else it left.
    // False, logged, when the VM must not be copied.
    bool ClearLeftovers();
    // Checks the staging folder against what the copy expected, and only then swaps it in for the
    // previous copy. False, logged, when either fails; the previous copy then stays.
    bool Commit(const ExpectedCopy& expected);

  private:
    bool Verify(const ExpectedCopy& expected);
    bool Swap();

    BackupContext& run_;
    std::string backup_, staging_, previous_;
    bool cleared_ = false;
    bool swapped_ = false;
};

} // namespace tarnwick
