#pragma once
// The backup run: every running VM that the list and the options select is copied into a folder of
// the target named after the VM's own folder. The copy goes to a staging folder beside it and replaces
// the previous copy only once it is verified, so a failure at any point leaves the last good copy.
#include "common/services.h"
#include "config/control_list.h"
#include "sequences/ports.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// What a backup run ends the program with, for the scheduler's "Last Run Result".
enum BackupExitCode : int {
    BackupSucceeded = 0, // every selected VM copied, every step reported success
    BackupStepFailed = 1,
    BackupNoTarget = 2, // no target given, or it is not an existing directory
};

// F and N of a VM's .vmx path: the directory part of the path without its last character, and what
// follows the directory part of F. A directory part is everything up to and including the last '\'
// or ':'.
struct VmFolder {
    std::string folder; // F
    std::string name;   // N
};
VmFolder SplitVmFolder(std::string_view vmPath);
// Whether N can name a backup folder without it reaching outside one: the VM lies in a named folder.
bool UsableFolderName(std::string_view vmPath, const VmFolder& split);

// Where a VM's copy lives while it is made, and where the previous copy waits during the swap. A VM
// whose own folder name ends so is refused: its backup folder would be another VM's staging folder.
inline constexpr std::string_view StagingSuffix = ".partial";
inline constexpr std::string_view PreviousSuffix = ".old";

// Whether either folder is the other or lies inside it, by full paths and the letter-case rule.
bool FoldersOverlap(std::string_view a, std::string_view b);

// XCOPY of a whole folder (its top-level files) into a folder, created when missing.
std::string BuildXcopyCommand(const std::string& folder, const std::string& destination);
// Copies of single files of folder into the existing folder destination with cmd's own COPY, so that
// the VM waits for one process rather than one per file. Joined so that on Windows the first failure
// ends the line with its exit code (Wine's cmd runs on, and the check of the copy catches it); lines
// stay well inside cmd's limit.
std::vector<std::string> BuildFileCopyCommands(const std::string& folder,
                                               const std::vector<std::string>& names,
                                               const std::string& destination);

// Which files a second pass copies: those of now that are new since before, or whose size or stamp
// changed, and those the staging folder lacks or holds at another size.
std::vector<std::string> ChangedFiles(const std::vector<BackupFolders::File>& before,
                                      const std::vector<BackupFolders::File>& now,
                                      const std::vector<BackupFolders::File>& staged);

// The log as a backup run writes it: a line that cannot be written is counted instead of ending the
// run, so that every VM it suspended is resumed. The count is logged as soon as a line goes through.
class BackupLog final : public Reporter {
  public:
    explicit BackupLog(Reporter& log) : log_(log) {}
    void WriteLog(const std::string& msg) override;
    void ShowStatus(const std::string& msg) override;
    size_t LostLines() const { return lost_; }
    // Logs the count of lines not yet reported, when the log takes it.
    void Flush();

  private:
    template <class Write> void Keep(Write write);

    Reporter& log_;
    size_t lost_ = 0;
    size_t unreported_ = 0;
};

struct BackupServices {
    ControlListView& list;
    const ConfigOptions& options; // read each time it is needed
    VmOperations& vms;            // logs through the same BackupLog
    BackupLog& reporter;
    Dialogs& dialogs;
    Processes& processes;
    FileSystem& files;
    BackupFolders& folders;
};

BackupExitCode BackupRunningVms(const std::string& target, BackupServices& services);

} // namespace tarnwick
