#pragma once
// The backup run: every running VM that the list and the options select is copied into a folder of
// the target named after the VM's own folder, suspended (or snapshotted) for the length of the copy.
#include "common/services.h"
#include "config/control_list.h"
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

// target ends with a backslash.
std::string BuildDelCommand(const std::string& target, const std::string& name);
std::string BuildXcopyCommand(const std::string& folder, const std::string& target, const std::string& name);

struct BackupServices {
    ControlListView& list;
    const ConfigOptions& options; // read each time it is needed
    VmOperations& vms;
    Reporter& reporter;
    Dialogs& dialogs;
    Processes& processes;
    FileSystem& files;
};

BackupExitCode BackupRunningVms(const std::string& target, BackupServices& services);

} // namespace tarnwick
