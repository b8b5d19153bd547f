#include "sequences/failure_notice.h"

#include "sequences/backup.h"

namespace tarnwick {

namespace {

const char* const SeeTheLog = " Click to see the log.";

std::string Count(unsigned n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::optional<std::string> FailureNoticeText(RunKind kind, const RunTally& tally) {
    if (tally.failed == 0 && tally.limitsPassed == 0) return std::nullopt;
    std::string text;
    if (tally.failed > 0) {
        text = std::to_string(tally.failed) + " of " + Count(tally.tried, "VM", "VMs") +
               (kind == RunKind::Start ? " could not be started." : " could not be suspended.");
    }
    if (tally.limitsPassed > 0) {
        if (!text.empty()) text += " ";
        text += Count(tally.limitsPassed, "VMware tool", "VMware tools") + " did not finish in time.";
    }
    return text + SeeTheLog;
}

std::optional<std::string> BackupNoticeText(int exitCode) {
    switch (exitCode) {
    case BackupSucceeded:
        return std::nullopt;
    case BackupNoTarget:
        return std::string("The backup did not run: the target folder does not exist or was not given.") +
               SeeTheLog;
    default:
        return std::string("The backup did not complete: a step failed.") + SeeTheLog;
    }
}

} // namespace tarnwick
