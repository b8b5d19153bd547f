#pragma once
// The staging protocol of one VM's copy: the copy is made in a staging folder beside the backup folder,
// checked against the VM's folder, and only then swapped in. A run cut short (power cut, logoff) leaves
// at most the staging folder and, between the two renames of the swap, the previous copy moved aside;
// the next run puts those right before it copies the VM.
#include "sequences/backup_context.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Where a VM's copy lives while it is made, and where the previous copy waits during the swap: names no
// user picks, and each such folder holds the marker file, written before anything else goes in. A folder
// without the marker is never renamed or removed, whatever its name.
inline constexpr std::string_view StagingSuffix = ".tarnwick-partial";
inline constexpr std::string_view PreviousSuffix = ".tarnwick-old";
// A copy that could not be removed, numbered from 2, until a later run can.
inline constexpr std::string_view PutAwaySuffix = ".tarnwick-put-away-";
inline constexpr std::string_view LockSuffix = ".tarnwick-lock"; // a file, held while a run works on it
inline constexpr std::string_view MarkerName = "Tarnwick-backup.mark";
inline constexpr std::string_view MarkerText = "Tarnwick made this folder for a backup; it removes it.\r\n";
// The names that earlier versions staged and set aside under: now a user's folders like any other.
inline constexpr std::string_view EarlierSuffixes[] = {".partial", ".old"};

// The part of a folder name from ".tarnwick-" on, which names one of the backup's own folders; empty
// when there is none.
std::string OwnSuffix(std::string_view name);

// What a copy is checked against, by size and last-write time: the VM folder's files as they were when
// the copy was taken, and the names whose size cannot be known (a file a running VM went on writing
// during the copy).
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
    // Every folder the copy may make, rename or remove: the three above and the older generations.
    std::vector<std::string> Folders();

    // Puts back a previous copy that an interrupted run moved aside, removes what else it left, and
    // makes the marked staging folder. False, logged, when the VM must not be copied.
    bool Prepare();
    // Checks the staging folder against what the copy expected, and only then swaps it in for the
    // previous copy. False, logged, when either fails; the previous copy then stays.
    bool Commit(const ExpectedCopy& expected);

  private:
    bool Verify(const ExpectedCopy& expected);
    bool Swap();
    // Whether the folder holds the marker; when not, the VM is not copied, logged.
    bool Ours(const std::string& folder);
    bool ClearSetAside();
    // Moves the user's folders of a set-aside copy into the backup folder, then keeps the copy as the
    // newest older generation, or removes it when only one copy is kept.
    bool Retire(const std::string& setAside);
    bool KeepAsGeneration(const std::string& setAside);
    bool RemoveOrPutAway(const std::string& folder);
    void RemovePutAway();
    // What follows "<backup folder's name>.tarnwick-" + tail in the names of the target's folders.
    std::vector<std::string> OwnFoldersNamed(std::string_view tail);
    // The numbers of the older generations in the target, highest first.
    std::vector<uint32_t> Generations();
    std::string Generation(uint32_t number) const { return backup_ + ".tarnwick-" + std::to_string(number); }
    std::string Marker(const std::string& folder) const { return folder + "\\" + std::string(MarkerName); }

    BackupContext& run_;
    std::string backup_, staging_, previous_;
    uint32_t keep_; // copies kept, the newest (the backup folder) included
    bool cleared_ = false;
    bool swapped_ = false;
};

} // namespace tarnwick
