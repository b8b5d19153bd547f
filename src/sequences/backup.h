#pragma once
// The backup run: every running VM that the list and the options select is copied into a folder of
// the target named after the VM's own folder. The copy goes to a staging folder beside it and replaces
// the previous copy only once it is verified, so a failure at any point leaves the last good copy.
//
// backup.cpp walks the running VMs and decides which are copied where; backup_copy.cpp copies one VM
// while it runs; backup_staging.cpp keeps the staging folder, checks the copy and swaps it in.
#include "common/services.h"
#include "config/control_list.h"
#include "sequences/backup_log.h"
#include "sequences/backup_progress.h"
#include "sequences/ports.h"

#include <string>
#include <string_view>

namespace tarnwick {

// What a backup run ends the program with, for the scheduler's "Last Run Result".
enum BackupExitCode : int {
    BackupSucceeded = 0, // every selected VM copied, every step reported success
    BackupStepFailed = 1,
    BackupNoTarget = 2, // no target given, or it is not an existing directory
};

// The folder of a VM's .vmx path and its name: the directory part of the path without its last
// character, and what follows the folder's own directory part. A directory part is everything up to
// and including the last '\' or ':'.
struct VmFolder {
    std::string folder;
    std::string name; // the backup folder's name in the target
};
VmFolder SplitVmFolder(std::string_view vmPath);
// Whether the name can name a backup folder without it reaching outside one: the VM lies in a named folder.
bool UsableFolderName(std::string_view vmPath, const VmFolder& split);

// Whether either folder is the other or lies inside it, by full paths and the letter-case rule.
bool FoldersOverlap(std::string_view a, std::string_view b);

struct BackupServices {
    ControlListView& list;
    const ConfigOptions& options; // read each time it is needed
    VmOperations& vms;            // logs through the same BackupLog
    BackupLog& reporter;
    Dialogs& dialogs;
    Processes& processes;
    FileSystem& files;
    BackupFolders& folders;
    BackupProgressView& progress;
};

BackupExitCode BackupRunningVms(const std::string& target, BackupServices& services);

} // namespace tarnwick
