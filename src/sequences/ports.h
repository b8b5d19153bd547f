#pragma once
// What the sequences need from the control list, the hypervisor and the session, and nothing more.
// The shell adapts the real list model, the hypervisor and the Win32 calls to these; tests use fakes.
#include "config/control_list.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The control list as the sequences see it: entries by 0-based index. Any call may find the list
// changed since the previous one, because the sequences wait with the window answering.
class ControlListView {
  public:
    virtual ~ControlListView() = default;
    virtual size_t Count() const = 0;
    // Callers pass index < Count(). The text is a copy: the list may change while it is in use.
    virtual std::string Text(size_t index) const = 0;
    virtual bool Enabled(size_t index) const = 0;
    virtual StopAction Action(size_t index) const = 0;
    // The entry keeps its place, its enabled flag, the list's selection and the unsaved-changes state.
    virtual void ReplaceText(size_t index, const std::string& text) = 0;
    virtual std::optional<size_t> Selection() const = 0;
    // The first entry whose whole text equals text without regard to letter case, by the list's own
    // rule for duplicates.
    virtual std::optional<size_t> FindText(const std::string& text) const = 0;
};

// VMware's command tool the run uses, with the output captured.
class VmOperations {
  public:
    virtual ~VmOperations() = default;
    // True when the tool reported success; a failure has been logged already.
    virtual bool ExecVmCommand(const std::string& verb, const std::string& vmPath) = 0;
    // The running VMs' paths in the tool's order; nullopt when they could not be listed (that failure
    // has been reported already).
    virtual std::optional<std::vector<std::string>> ListRunningVms() = 0;
    // Whether the VM's guest tools run, by vmrun's checkToolsState; false when it cannot tell. The query
    // takes at most withinSeconds.
    virtual bool ToolsRunning(const std::string& vmPath, uint32_t withinSeconds) = 0;
    // Suspends the VMs all at once, for a session that ends whatever we do: true for each whose suspend
    // ended well within withinSeconds. Uncaptured, so judged by the exit code alone.
    virtual std::vector<bool> SuspendTogether(const std::vector<std::string>& vmPaths,
                                              uint32_t withinSeconds) = 0;
    // How many tool runs through this port were ended at their limit so far: a failed verb that was
    // ended so may still have taken effect.
    virtual uint64_t RunsEndedAtLimit() const { return 0; }
};

// What the backup needs of the file system beyond single files. Paths are 8-bit, without a trailing
// backslash.
class BackupFolders {
  public:
    struct File {
        std::string name; // without the folder
        uint64_t size = 0;
        uint64_t modified = 0; // the file system's last-write time, in 100 ns (a FILETIME)
    };
    virtual ~BackupFolders() = default;
    // The path made absolute against the current directory, with "." and ".." resolved; empty when it
    // cannot be.
    virtual std::string FullPath(const std::string& path) = 0;
    // The files directly in folder, subfolders left out; nullopt when the folder cannot be read.
    virtual std::optional<std::vector<File>> ListFiles(const std::string& folder) = 0;
    // Renames a folder; false when it did not happen (the target exists, or a file in it is open).
    virtual bool RenameFolder(const std::string& from, const std::string& to) = 0;
    // Removes a folder with everything in it; true when it is gone.
    virtual bool RemoveFolder(const std::string& folder) = 0;
    // The names of the folders directly in folder; nullopt when it cannot be read.
    virtual std::optional<std::vector<std::string>> ListFolders(const std::string& folder) = 0;
    // Makes a folder whose parent exists; true when it exists afterwards.
    virtual bool MakeFolder(const std::string& folder) = 0;
    // Writes a file of these bytes, replacing one of that name; true when it is written whole.
    virtual bool WriteSmallFile(const std::string& path, const std::string& bytes) = 0;

    // A lock file opened for this process alone, and let go of when released or when the process ends,
    // however it ends.
    class Lock {
      public:
        virtual ~Lock() = default;
    };
    struct LockResult {
        std::unique_ptr<Lock> lock; // empty when not taken
        bool heldByAnother = false;
        std::string holder; // the process id the holder wrote in it, when it could be read
    };
    virtual LockResult TakeLock(const std::string& path) = 0;

    enum class CopyEnd { Copied, Failed, Stalled };
    struct CopyResult {
        CopyEnd end = CopyEnd::Failed;
        uint32_t error = 0; // the system's error code when Failed
    };
    // Copies the file from onto to, which it makes or replaces; to's folder exists. The copy is ended
    // when it makes no progress for stallSeconds (0: never). While it runs, answer is called whenever
    // the window has messages waiting, and takes them; without it the wait leaves them. copied, when
    // set, is told the bytes of the file copied so far whenever the copy's progress is looked at: about
    // once a second, when stallSeconds is set.
    virtual CopyResult CopyOneFile(const std::string& from, const std::string& to, uint32_t stallSeconds,
                                   const std::function<void()>& answer,
                                   const std::function<void(uint64_t)>& copied) = 0;
};

// The Windows calls behind holding and re-issuing a logoff or shutdown.
class SessionPlatform {
  public:
    virtual ~SessionPlatform() = default;
    // Enables (or disables) a privilege of our own process token; true when the adjustment call
    // succeeded. Only ever called as SetPrivilege("SeShutdownPrivilege", true).
    virtual bool SetPrivilege(const std::string& name, bool enable) = 0;
    // ExitWindowsEx(flags, 0); true when Windows accepted the request.
    virtual bool ExitWindowsEx(uint32_t flags) = 0;
    // Registers the text Windows shows for the main window while it holds a logoff or shutdown; the
    // text is ANSI and is widened by the adapter. False when the system cannot (no such call before
    // Vista), which is no error.
    virtual bool CreateShutdownBlockReason(const std::string& reason) = 0;
    virtual void DestroyShutdownBlockReason() = 0;
    // Has SessionEnd::RefusalStood called once the refusal has been answered and RefusalGraceMs have
    // passed; a later call before then starts the moment again.
    virtual void CallBackAfterRefusal() = 0;
};

// Windows XP and Wine follow a refusal at once with the abort, which starts the suspension as it always
// has; this moment lets that abort come first, so both routes read the same in the log.
inline constexpr unsigned RefusalGraceMs = 400;

} // namespace tarnwick
