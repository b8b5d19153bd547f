#pragma once
// What the parts of one backup run share: its services, the user's limit, and whether a step failed.
#include "common/text_case.h"
#include "config/control_list.h"
#include "hypervisor/tool_commands.h"
#include "sequences/backup.h"

#include <map>
#include <string>
#include <vector>

namespace tarnwick {

using FileListing = std::vector<BackupFolders::File>;

// The files of a listing by their names folded by the letter-case rule.
inline std::map<std::string, const BackupFolders::File*> ByName(const FileListing& files) {
    std::map<std::string, const BackupFolders::File*> byName;
    for (const auto& f : files)
        byName.emplace(FoldCase(f.name), &f);
    return byName;
}

// Whether a copy carries its source's last-write time. The copy's file system may keep it coarser than
// the source's: FAT to 2 seconds, exFAT to 10 ms, so a copy on a USB disk differs by less than that.
inline bool SameWriteTime(uint64_t copy, uint64_t source) {
    constexpr uint64_t fatGrain = 2 * 10'000'000; // in the stamps' 100 ns
    return (copy > source ? copy - source : source - copy) < fatGrain;
}

class BackupContext {
  public:
    explicit BackupContext(BackupServices& services) : s(services), progress(services.progress) {}

    BackupServices& s;
    BackupProgress progress;

    // Logs the line; the run ends with BackupStepFailed.
    void Fail(const std::string& line) {
        s.reporter.WriteLog(line);
        failed_ = true;
    }
    // A step that logged its own failure.
    void MarkFailed() { failed_ = true; }
    bool Failed() const { return failed_; }
    // The user's limit for a tool run, and for a copy that makes no progress.
    uint32_t LimitSeconds() const { return ToolTimeoutSeconds(s.options).value_or(DefaultToolTimeout); }

  private:
    bool failed_ = false;
};

} // namespace tarnwick
