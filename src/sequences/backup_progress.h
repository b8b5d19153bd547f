#pragma once
// Where a backup run is, for a person watching it: a one-line text that the shell shows as the run's
// tray tip, and the line that tells in the log what each pass of a VM's copy copied and how long the VM
// was down.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnwick {

// What shows the run's place; the shell's shows nothing where no one sees the desktop.
class BackupProgressView {
  public:
    virtual ~BackupProgressView() = default;
    virtual void ShowProgress(const std::string& text) = 0;
};

enum class BackupStage {
    Listing,       // before the running VMs are known
    Chosen,        // a VM's turn has come
    FirstPass,     // copying while it runs
    Suspending,    //
    SecondPass,    // copying what changed while it is suspended
    Resuming,      //
    UnderSnapshot, // copying while it runs on its snapshot
    Committing,    // deleting the snapshot
    Done,          // its copy is over; a delay may follow
};

struct BackupPlace {
    BackupStage stage = BackupStage::Listing;
    size_t number = 0, total = 0; // the VM's place among the running ones, from 1
    std::string name;             // the VM's .vmx file name without its extension
    uint64_t done = 0, size = 0;  // bytes of the stage's copy so far, and of all it copies
};

// The most a tray tip holds, its end of text not counted.
inline constexpr size_t ProgressTextLimit = 127;
// The tip for a place; a VM name that would make it longer than the limit is shortened.
std::string ProgressText(const BackupPlace& place);
// Bytes in GB (of 2^30 bytes, as Explorer counts a folder's size) with one decimal, rounded.
std::string GigabytesText(uint64_t bytes);

// The run's place as it moves on, shown whenever its text changes; readings of the copies come about
// once a second, from the waits that watch the copy for its limit, so showing them costs the copy
// nothing.
class BackupProgress {
  public:
    explicit BackupProgress(BackupProgressView& view);
    void Vm(size_t number, size_t total, const std::string& vmPath);
    // A stage that copies size bytes in all (0 for one that copies nothing).
    void Stage(BackupStage stage, uint64_t size = 0);
    void Copied(uint64_t done);

  private:
    void Show();

    BackupProgressView& view_;
    BackupPlace place_;
    std::string shown_;
};

// What one VM's copy took, for its log line. Times on the runner's clock, in milliseconds.
struct CopyTally {
    uint64_t firstPass = 0, secondPass = 0; // bytes
    uint64_t downFrom = 0, downTo = 0;      // from the suspend's start to the resume's end
    bool resumed = false;
};
// "    Copied 28.0 GB while running, 1.2 GB while suspended; the VM was down 41 s."
std::string CopiedLine(const CopyTally& tally);
// The snapshot form's, which never takes the VM down.
std::string CopiedUnderSnapshotLine(uint64_t bytes);

} // namespace tarnwick
