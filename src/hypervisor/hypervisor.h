#pragma once
// Runs VMware's command tool through cmd, judges its output, and lists the running VMs.
#include "common/main_state.h"
#include "common/services.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick {

class Hypervisor {
  public:
    Hypervisor(const MainState& state, Reporter& reporter, Dialogs& dialogs, Processes& processes,
               FileSystem& files)
        : state_(state), reporter_(reporter), dialogs_(dialogs), processes_(processes), files_(files) {}

    // Builds the tool's command line, logs it as a "DosCmd" line and runs it, waiting. True when cmd was
    // started. A text holding a double quote is refused: logged, not run, false with exit code 0.
    bool RunToolCommand(const std::string& toolPath, const std::string& verb, const std::string& vmPath,
                        uint32_t& exitCode, bool capture);
    // Runs the command and judges the captured output; a failure is logged in three lines.
    bool ExecVmCommand(const std::string& toolPath, const std::string& verb, const std::string& vmPath,
                       uint32_t& exitCode, bool capture);
    // The form every sequence uses: the run's tool, output captured, exit code not wanted.
    bool ExecVmCommand(const std::string& verb, const std::string& vmPath);

    // Whether vmrun's checkToolsState says the VM's guest tools run. False when the tool could not be
    // run; nothing is logged but the "DosCmd" line, as the query is asked again and again.
    bool ToolsRunning(const std::string& vmPath);

    // Replaces list with the paths of the running VMs, as the tool printed them. Shows a message box
    // when cmd could not be started. The capture file is gone afterwards. False when nothing could be
    // listed: cmd did not start, wrote no output, or the tool answered with an error instead of a list.
    bool ListRunningVms(std::vector<std::string>& list);

    // Where the run started now captures its output. A run started from a handler while another run
    // waits gets a file of its own ("Tarnwick.1.tmp" one level in), so neither reads the other's
    // output; the outermost run uses the run's temporary file.
    std::string CapturePath() const;

  private:
    enum class RunOutcome { Ran, NotStarted, Refused };
    RunOutcome Run(const std::string& toolPath, const std::string& verb, const std::string& vmPath,
                   uint32_t& exitCode, bool capture);
    void FilterByState(std::vector<std::string>& items, const std::string& capturePath);

    const MainState& state_;
    Reporter& reporter_;
    Dialogs& dialogs_;
    Processes& processes_;
    FileSystem& files_;
    int depth_ = 0; // tool runs now waiting further up this thread's stack
};

} // namespace tarnwick
