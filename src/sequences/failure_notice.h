#pragma once
// The one notice a run that went on out of sight gives when part of it failed: logon starts, the
// suspension at Exit or at the end of the session, and /BKP. The log holds the details; the notice
// only says that they are there.
#include <optional>
#include <string>

namespace tarnwick {

// What one run tried and what of it failed.
struct RunTally {
    unsigned tried = 0;        // VMs and Teams the run acted on
    unsigned failed = 0;       // of those, the ones whose tool reported failure
    unsigned limitsPassed = 0; // tool runs that passed their time limit
};

enum class RunKind { Start, Suspend };

// nullopt when nothing failed.
std::optional<std::string> FailureNoticeText(RunKind kind, const RunTally& tally);
// After a backup run that ended with exitCode; nullopt when it succeeded.
std::optional<std::string> BackupNoticeText(int exitCode);

} // namespace tarnwick
