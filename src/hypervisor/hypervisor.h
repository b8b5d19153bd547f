#pragma once
// Runs VMware's command tool through cmd, judges its output, and lists the running VMs.
#include "common/services.h"
#include "hypervisor/capture_file.h"
#include "hypervisor/vmware_tools.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The user's limit for tool runs, asked before each run: nullopt when the configuration sets none.
using ToolTimeoutSource = std::function<std::optional<uint32_t>()>;

struct HypervisorServices {
    VmwareTools tools;
    CaptureFiles& captures;
    Reporter& reporter;
    Dialogs& dialogs;
    Processes& processes;
    FileSystem& files;
    // Required: a Hypervisor without it would run every tool under the default limit, whatever the user
    // set, so the constructor refuses it (std::logic_error).
    ToolTimeoutSource toolTimeout;
};

class Hypervisor {
  public:
    explicit Hypervisor(HypervisorServices services);

    // Runs the tool with verb on the VM, captured, within the verb's limit, and judges it: a failure is
    // logged in three lines. It fails when cmd could not start, ran past its limit, exited with a code
    // other than 0, or left no capture file that could be read; otherwise the captured output decides.
    // A text holding a double quote is refused: logged, not run, false.
    bool ExecVmCommand(const std::string& verb, const std::string& vmPath);

    // Suspends the VMs all at once, each run logged as usual but not captured; true for each run that
    // ended with exit code 0 within withinSeconds. What still runs then is left to finish.
    std::vector<bool> SuspendTogether(const std::vector<std::string>& vmPaths, uint32_t withinSeconds);
    // How many runs of the verbs were ended at their own limit so far.
    uint64_t RunsEndedAtLimit() const { return endedAtLimit_; }

    // Told of every run that passed its limit, after its line is logged.
    void SetLimitPassedHandler(std::function<void()> handler) { onLimitPassed_ = std::move(handler); }

    // Whether vmrun's checkToolsState says the VM's guest tools run. False when the tool could not be
    // run; nothing is logged but the "DosCmd" line, as the query is asked again and again. The query
    // takes at most withinSeconds (at least 1): a wait does not outlast its own bound for a hung query,
    // and a query it ends so is no tool that failed to finish.
    bool ToolsRunning(const std::string& vmPath, uint32_t withinSeconds);

    // Replaces list with the paths of the running VMs, as the tool printed them. False, with the list
    // left alone, when the listing failed: cmd could not start, the run passed its limit, the tool exited
    // with a code other than 0, its output could not be read (these with a message box), or the tool
    // answered with an error instead of a list. The capture file is gone afterwards.
    bool ListRunningVms(std::vector<std::string>& list);

    // Where the run started now captures its output.
    std::string CapturePath() const { return s_.captures.Current(); }

  private:
    enum class RunOutcome { Ran, NotStarted, Refused, TimedOut };
    // capped: a bound below the verb's own limit, whose passing is no failure of the tool.
    RunOutcome Run(const std::string& verb, const std::string& vmPath, uint32_t& exitCode,
                   std::optional<uint32_t> capped = std::nullopt);
    // The capture file's bytes; nullopt, with why set to a line for the log, when it is missing or
    // cannot be read.
    std::optional<std::string> ReadCapture(const std::string& capturePath, std::string& why);
    // The nested runs' files are ours alone; the outermost one stays as it always has.
    void DropNestedCapture(const std::string& capturePath);
    void FilterByState(std::vector<std::string>& items, const std::string& capturePath);

    HypervisorServices s_;
    std::function<void()> onLimitPassed_;
    uint64_t endedAtLimit_ = 0;
};

} // namespace tarnwick
