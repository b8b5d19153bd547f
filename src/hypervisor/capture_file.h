#pragma once
// Which capture file this copy of the program uses, so that copies running side by side (the tray copy
// and a scheduled backup) never read each other's tool output.
#include "common/scope_exit.h"

#include <cstdint>
#include <string>

namespace tarnwick {

// Claims a name for as long as this process lives, through a lock file that the system lets go of when
// the process ends, however it ends.
class FileClaims {
  public:
    enum class Claim {
        Ours,
        HeldByAnother, // another running process holds it
        Unavailable,   // it cannot be claimed at all (a folder we may not write, say)
    };
    virtual ~FileClaims() = default;
    virtual Claim HoldForLife(const std::string& lockPath) = 0;
};

inline constexpr const char* CaptureFileName = "Tarnwick.tmp";
// Copies past this many share nothing but the process id in their names.
inline constexpr int CaptureSlots = 9;

// The capture file of slot n: Tarnwick.tmp for the first, Tarnwick-2.tmp ... for the others. Nested runs
// add ".1", ".2" before the extension, which no other slot's name can match.
std::string CaptureSlotPath(const std::string& appDir, int slot);
std::string CaptureLockPath(const std::string& capturePath);

// The first slot no running copy holds, claimed for this one. A copy that crashed holds nothing, so
// its slot (and the files it left) is used again. Where no lock can be made, the first copy keeps
// Tarnwick.tmp as the program always did, and a later one takes a name made from its process id.
std::string ClaimCapturePath(const std::string& appDir, FileClaims& claims, uint32_t processId);

// The capture files of this process's tool runs. A run started from a handler while another run waits,
// through the same Hypervisor or another one (a /BKP run's own beside the tray copy's), gets a file of
// its own ("Tarnwick.1.tmp" one level in), so no run reads another's output.
class CaptureFiles {
  public:
    explicit CaptureFiles(std::string outer) : outer_(std::move(outer)) {}
    CaptureFiles(const CaptureFiles&) = delete;
    CaptureFiles& operator=(const CaptureFiles&) = delete;

    // The file the outermost run uses; it stays after the run, as it always has.
    const std::string& Outer() const { return outer_; }
    // Where a run started now captures its output.
    std::string Current() const;
    // Counts a run as waiting until the result goes out of scope, also when a handler inside throws.
    [[nodiscard]] auto Waiting() { return ScopedValue(depth_, depth_ + 1); }

  private:
    std::string outer_;
    int depth_ = 0; // tool runs now waiting further up this thread's stack
};

} // namespace tarnwick
