#pragma once
// Runs VMware's command tool through cmd, judges its output, and lists the running VMs.
#include "common/main_state.h"
#include "common/services.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

class Hypervisor {
  public:
    // The user's limit for tool runs, asked before each run; nullopt (or no function): the default.
    using ToolTimeout = std::function<std::optional<uint32_t>()>;

    Hypervisor(const MainState& state, Reporter& reporter, Dialogs& dialogs, Processes& processes,
               FileSystem& files, ToolTimeout toolTimeout = nullptr)
        : state_(state), reporter_(reporter), dialogs_(dialogs), processes_(processes), files_(files),
          toolTimeout_(std::move(toolTimeout)) {}

    // Builds the tool's command line, logs it as a "DosCmd" line and runs it, waiting within the verb's
    // limit. True when cmd was started. A text holding a double quote is refused: logged, not run, false
    // with exit code 0. A run past its limit is ended with everything it started, and logged.
    bool RunToolCommand(const std::string& toolPath, const std::string& verb, const std::string& vmPath,
                        uint32_t& exitCode, bool capture);
    // Runs the command and judges it: a failure is logged in three lines. It fails when cmd could not
    // start, ran past its limit, exited with a code other than 0, or left no capture file that could be
    // read; otherwise the captured output decides.
    bool ExecVmCommand(const std::string& toolPath, const std::string& verb, const std::string& vmPath,
                       uint32_t& exitCode, bool capture);
    // The form every sequence uses: the run's tool, output captured, exit code not wanted.
    bool ExecVmCommand(const std::string& verb, const std::string& vmPath);

    // Told of every run that passed its limit, after its line is logged.
    void SetLimitPassedHandler(std::function<void()> handler) { onLimitPassed_ = std::move(handler); }

    // Whether vmrun's checkToolsState says the VM's guest tools run. False when the tool could not be
    // run; nothing is logged but the "DosCmd" line, as the query is asked again and again.
    bool ToolsRunning(const std::string& vmPath);

    // Replaces list with the paths of the running VMs, as the tool printed them. False, with the list
    // left alone, when the listing failed: cmd could not start, the run passed its limit, the tool exited
    // with a code other than 0, its output could not be read (these with a message box), or the tool
    // answered with an error instead of a list. The capture file is gone afterwards.
    bool ListRunningVms(std::vector<std::string>& list);

    // Where the run started now captures its output. A run started from a handler while another run
    // waits gets a file of its own ("Tarnwick.1.tmp" one level in), so neither reads the other's
    // output; the outermost run uses the run's temporary file.
    std::string CapturePath() const;

  private:
    enum class RunOutcome { Ran, NotStarted, Refused, TimedOut };
    RunOutcome Run(const std::string& toolPath, const std::string& verb, const std::string& vmPath,
                   uint32_t& exitCode, bool capture);
    // The capture file's bytes; nullopt, with why set to a line for the log, when it is missing or
    // cannot be read.
    std::optional<std::string> ReadCapture(const std::string& capturePath, std::string& why);
    void FilterByState(std::vector<std::string>& items, const std::string& capturePath);

    const MainState& state_;
    Reporter& reporter_;
    Dialogs& dialogs_;
    Processes& processes_;
    FileSystem& files_;
    ToolTimeout toolTimeout_;
    std::function<void()> onLimitPassed_;
    int depth_ = 0; // tool runs now waiting further up this thread's stack
};

} // namespace tarnwick
