#pragma once
// Loading and saving the configuration: Tarnwick.ini and the logon autostart value.
#include "common/run_files.h"
#include "common/services.h"
#include "config/control_list.h"

#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// Success, or why not, in words a message box can show.
struct Outcome {
    bool ok = true;
    std::string why;
    static Outcome Done() { return {}; }
    static Outcome Failed(std::string why) { return {false, std::move(why)}; }
};

// The Run key, once opened; closed when destroyed.
class RunKey {
  public:
    virtual ~RunKey() = default;
    virtual bool ValueExists(const std::string& name) = 0;
    // nullopt when the value is missing or is not a string.
    virtual std::optional<std::string> ReadString(const std::string& name) = 0;
    virtual Outcome WriteString(const std::string& name, const std::string& data) = 0; // REG_SZ
    // A value that does not exist is no error.
    virtual Outcome DeleteValue(const std::string& name) = 0;
};

// The per-user store of programs to start at logon.
class AutostartStore {
  public:
    virtual ~AutostartStore() = default;
    // Opens the existing key, never creates it; nullptr when it cannot be opened.
    virtual std::unique_ptr<RunKey> OpenRunKey() = 0;
};

// Replaces a whole file so that it holds either its old bytes or all the new ones, never a part.
class FileWriter {
  public:
    virtual ~FileWriter() = default;
    virtual Outcome ReplaceWholeFile(const std::string& path, const std::string& bytes) = 0;
};

inline constexpr const char* AutostartValueName = "Tarnwick";
inline constexpr const char* RunKeyWarning =
    "WARNING: Unable to open registry key \\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\.";
inline constexpr const char* ConfigUpdatedLog = "Configuration updated.";
inline constexpr const char* ConfigNotSavedText = "The configuration was not saved.";
inline constexpr const char* AutostartNotSavedText =
    "The configuration file was saved, but the logon start was not.";
inline constexpr const char* NotLoadedText =
    "Tarnwick.ini could not be read in this run, and saving would replace what it holds. Choose Forget "
    "Changes to read it again.";
inline constexpr const char* BackupSuffix = ".bak";

class ConfigStore {
  public:
    ConfigStore(const RunFiles& runFiles, FileSystem& files, FileWriter& writer, AutostartStore& autostart,
                Reporter& reporter, Dialogs& dialogs, ControlList& list)
        : runFiles_(runFiles), files_(files), writer_(writer), autostart_(autostart), reporter_(reporter),
          dialogs_(dialogs), list_(list) {}

    // Held by the list, whose observer hears of every change; each call below ends by announcing them.
    const ConfigOptions& Options() const { return list_.Options(); }

    // Fills the options, the autostart box and the list from the file and the Run value, and clears the
    // unsaved-changes state. A missing or unreadable file reads as empty. Also Forget Changes. Lines it
    // skipped and entries it could not read faithfully are logged after the list is in place, so a log
    // that cannot be written throws only once everything is loaded.
    void LoadConfig();
    // Writes the file whole and then the Run value. On failure the old file stays, the user is told why
    // in a box (shown here), and the unsaved-changes state stays on. Logs "Configuration updated." after
    // a save that went through. Refused while the file has not been read in this run (it exists but
    // could not be read, or LoadConfig never ran). The first save after a load that lost something of
    // the file first keeps the old file as Tarnwick.ini.bak.
    Outcome SaveConfig();

    // The check boxes, clicked by the user: each sets the unsaved-changes state, unless the box is
    // disabled.
    void ClickBkpAll(bool checked);
    void ClickSnapshot(bool checked);
    void ClickWinStart(bool checked);
    void ClickResumeOthers(bool checked);
    // Discovery found a tool that cannot take snapshots: the box is disabled and unchecked for good.
    void DisableSnapshot();

  private:
    // Quoted, so that Windows cannot take a part of a path with spaces for the program: unquoted,
    // "D:\My Tools\Tarnwick.exe /START" starts a "D:\My.exe" when there is one.
    std::string AutostartCommand() const { return "\"" + runFiles_.exePath + "\" /START"; }
    // The value as earlier versions wrote it, which still means the box is checked.
    std::string UnquotedAutostartCommand() const { return runFiles_.exePath + " /START"; }
    Outcome WriteConfig();

    const RunFiles& runFiles_;
    FileSystem& files_;
    FileWriter& writer_;
    AutostartStore& autostart_;
    Reporter& reporter_;
    Dialogs& dialogs_;
    ControlList& list_;
    bool loaded_ = false;
    bool keepOldFile_ = false;       // the file holds what the list could not: keep it before replacing it
    bool storedUseSnapshot_ = false; // as read, for a run that cannot use it
    // The file has a ResumeOthers line: a save writes one back even unchecked. A file without one gets
    // one only once the box is checked, so a user who never touches it keeps the same bytes.
    bool resumeOthersInFile_ = false;
};

} // namespace tarnwick
