#pragma once
// The few things the portable core asks of the platform. The Win32 shell implements them with the
// real API; unit tests implement them with fakes that record what was asked.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnwick {

// An input/output error of the log or the capture file. It abandons the handler that was running;
// the shell catches it once per message dispatch and shows its text.
class IoError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The activity log and the status line (the main window's caption).
class Reporter {
  public:
    virtual ~Reporter() = default;
    // Appends one stamped line; throws IoError when the log cannot be written.
    virtual void WriteLog(const std::string& msg) = 0;
    // Sets the caption, lets the window handle what is waiting, then logs msg.
    virtual void ShowStatus(const std::string& msg) = 0;
};

// Modal questions and messages.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Plain box titled "Tarnwick" with OK.
    virtual void ShowMessage(const std::string& text) = 0;
    // Question box titled "Confirm" with Yes and No; true for Yes.
    virtual bool Confirm(const std::string& question) = 0;
    // Error box titled "Invalid Entry".
    virtual void InvalidEntry(const std::string& text) = 0;
    virtual void Beep() = 0;
};

// How long a waited run may take before the child and everything it started are ended.
struct RunLimit {
    uint32_t seconds = 0;
    // When set, the limit counts from the last change of this reading instead of from the start, so a
    // run that keeps making progress (a copy growing its target) is never cut short.
    std::function<uint64_t()> progress;
};

// How a waited run ended.
enum class RunEnd {
    NotStarted, // the child could not be created; exit code 0
    Exited,     // the exit code is the child's
    TimedOut,   // the limit passed and the child's processes were ended; exit code is the one they got
};

// Child processes and waits. Both keep the window answering while they wait.
class Processes {
  public:
    virtual ~Processes() = default;
    // True when the child was created. exitCode is 0 unless the call waited for the child.
    virtual bool RunCommandLine(const std::string& commandLine, const std::string& workingDir, bool wait,
                                uint32_t& exitCode) = 0;
    // Runs and waits, within the limit. exitCode is 0 unless the child was created.
    virtual RunEnd RunWithLimit(const std::string& commandLine, const RunLimit& limit,
                                uint32_t& exitCode) = 0;
    // Starts every command line at once and waits until all have ended or withinMs have passed; what
    // still runs then is left running. Each line's exit code, nullopt when it did not start or had not
    // ended. This one runs them one after another, for a platform that cannot do better.
    virtual std::vector<std::optional<uint32_t>> RunTogether(const std::vector<std::string>& commandLines,
                                                             uint64_t withinMs) {
        std::vector<std::optional<uint32_t>> codes;
        const uint64_t end = TickMilliseconds() + withinMs;
        for (const std::string& line : commandLines) {
            uint32_t code = 0;
            const bool ran = TickMilliseconds() < end && RunCommandLine(line, std::string(), true, code);
            codes.push_back(ran ? std::optional<uint32_t>(code) : std::nullopt);
        }
        return codes;
    }
    // While spare is set, a waited run that finds fewer than most runs under way calls it; spare starts
    // one more step of the caller's (a nested run), and returns false when it has none left. Without
    // this the steps run one after another, which is what a platform that cannot do better does.
    virtual void OfferWhileWaiting(size_t most, std::function<bool()> spare) {
        (void)most;
        (void)spare;
    }
    virtual void Sleep(unsigned milliseconds) = 0;
    // Sleeps as Sleep does, but returns as soon as stop() is true; the handlers run meanwhile decide it.
    virtual void SleepUnless(unsigned milliseconds, const std::function<bool()>& stop) {
        if (!stop()) Sleep(milliseconds);
    }
    // A steady clock in milliseconds, for waits that also run tools: their runs take time too.
    virtual uint64_t TickMilliseconds() = 0;
};

// Plain file services, 8-bit paths.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    // The whole file; nullopt when it does not exist; throws IoError when it exists but cannot be read.
    virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    // The sizes of the files directly in a folder, added up; 0 when there is no such folder.
    virtual uint64_t FolderFileBytes(const std::string& folder) = 0;
};

} // namespace tarnwick
