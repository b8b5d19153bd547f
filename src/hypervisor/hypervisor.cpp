#include "hypervisor/hypervisor.h"

#include "common/paths.h"
#include "common/scope_exit.h"
#include "hypervisor/tool_commands.h"

namespace tarnwick {

std::string Hypervisor::CapturePath() const {
    const std::string& outer = state_.tempFilePath;
    if (depth_ == 0) return outer;
    const size_t nameStart = DirectoryPart(outer).size();
    const size_t dot = outer.find_last_of('.');
    const std::string level = "." + std::to_string(depth_);
    if (dot == std::string::npos || dot < nameStart) return outer + level;
    return outer.substr(0, dot) + level + outer.substr(dot);
}

Hypervisor::RunOutcome Hypervisor::Run(const std::string& toolPath, const std::string& verb,
                                       const std::string& vmPath, uint32_t& exitCode, bool capture) {
    exitCode = 0;
    const std::string capturePath = CapturePath();
    // A double quote would end cmd's quoting early and let the rest of the text act as commands.
    // No Windows path holds one, so such a text is a damaged entry, never something to run.
    for (const std::string* text : {&toolPath, &verb, &vmPath, &capturePath}) {
        if (!ContainsDoubleQuote(*text)) continue;
        reporter_.WriteLog("      DosCmd refused, a double quote would break the command line: " + *text);
        return RunOutcome::Refused;
    }
    const std::string line =
        BuildToolCommandLine(state_.vmware.useVmrun, toolPath, verb, vmPath,
                             capture ? std::optional<std::string>(capturePath) : std::nullopt);
    reporter_.WriteLog("      DosCmd: " + line);
    // An earlier run's output must not pass for this one's when cmd cannot write the file.
    if (capture) files_.DeleteFile(capturePath);
    const uint32_t seconds = ToolRunSeconds(verb, toolTimeout_ ? toolTimeout_() : std::nullopt);
    // The run counts as waiting for as long as it is in the runner, also when a handler inside throws.
    const auto nested = ScopedValue(depth_, depth_ + 1);
    switch (processes_.RunWithLimit(line, RunLimit{seconds, nullptr}, exitCode)) {
    case RunEnd::NotStarted:
        return RunOutcome::NotStarted;
    case RunEnd::Exited:
        return RunOutcome::Ran;
    case RunEnd::TimedOut:
        break;
    }
    reporter_.WriteLog(TimedOutLine(line, seconds));
    if (onLimitPassed_) onLimitPassed_();
    return RunOutcome::TimedOut;
}

std::optional<std::string> Hypervisor::ReadCapture(const std::string& capturePath, std::string& why) {
    try {
        std::optional<std::string> content = files_.ReadWholeFile(capturePath);
        if (!content) why = "(no output file was written)";
        return content;
    } catch (const IoError& e) {
        why = std::string("(the output file could not be read: ") + e.what() + ")";
        return std::nullopt;
    }
}

bool Hypervisor::RunToolCommand(const std::string& toolPath, const std::string& verb,
                                const std::string& vmPath, uint32_t& exitCode, bool capture) {
    return Run(toolPath, verb, vmPath, exitCode, capture) == RunOutcome::Ran;
}

bool Hypervisor::ExecVmCommand(const std::string& toolPath, const std::string& verb,
                               const std::string& vmPath, uint32_t& exitCode, bool capture) {
    const std::string capturePath = CapturePath();
    const RunOutcome outcome = Run(toolPath, verb, vmPath, exitCode, capture);
    if (outcome == RunOutcome::Refused) return false; // its one log line says why
    // A tool that fails may say so on its error output only, or not at all: its exit code tells.
    bool succeeded = outcome == RunOutcome::Ran && exitCode == 0;
    std::optional<std::string> output;
    std::string why;
    if (capture && outcome != RunOutcome::NotStarted) output = ReadCapture(capturePath, why);
    if (succeeded && capture)
        succeeded =
            output && OutputMeansSuccess(TrimControls(IndentTextLines(*output, 0)), state_.vmware.useVmrun);
    if (!succeeded) {
        reporter_.WriteLog("Error " + verb + "ing \"" + vmPath + "\".");
        reporter_.WriteLog("  Exit code: " + std::to_string(exitCode));
        std::string shown = output ? IndentTextLines(*output, 5) : std::string();
        if (capture && outcome == RunOutcome::Ran && !output) shown += IndentTextLines(why, 5);
        reporter_.WriteLog("  Command output: \r\n" + shown);
    }
    // The nested runs' files are ours alone; the outermost one stays as it always has.
    if (capturePath != state_.tempFilePath) files_.DeleteFile(capturePath);
    return succeeded;
}

bool Hypervisor::ExecVmCommand(const std::string& verb, const std::string& vmPath) {
    uint32_t exitCode = 0;
    return ExecVmCommand(state_.vmware.toolPath, verb, vmPath, exitCode, true);
}

bool Hypervisor::ToolsRunning(const std::string& vmPath) {
    const std::string capturePath = CapturePath();
    uint32_t exitCode = 0;
    const bool ran = Run(state_.vmware.toolPath, ToolsStateVerb, vmPath, exitCode, true) == RunOutcome::Ran;
    std::string why;
    const std::optional<std::string> output = ran ? ReadCapture(capturePath, why) : std::nullopt;
    const bool ready = output && ToolsStateMeansReady(IndentTextLines(*output, 0));
    if (capturePath != state_.tempFilePath) files_.DeleteFile(capturePath);
    return ready;
}

bool Hypervisor::ListRunningVms(std::vector<std::string>& list) {
    const std::string capturePath = CapturePath();
    const ScopeExit removeCapture([&] { files_.DeleteFile(capturePath); });
    uint32_t exitCode = 0;
    const RunOutcome outcome =
        Run(state_.vmware.toolPath, state_.vmware.useVmrun ? "list" : "-l", std::string(), exitCode, true);
    // A listing that failed is no empty listing: the callers must not take it for "nothing runs".
    std::string why;
    const std::optional<std::string> content =
        outcome == RunOutcome::Ran && exitCode == 0 ? ReadCapture(capturePath, why) : std::nullopt;
    if (!content) {
        if (!why.empty()) reporter_.WriteLog("      " + why);
        dialogs_.ShowMessage("VMRun failed, exit code: " + std::to_string(exitCode));
        return false;
    }
    std::vector<std::string> items = SplitListing(*content);
    bool listed = true;
    if (state_.vmware.useVmrun) {
        // Only a list starts with its count; an error such as "Error: Unable to connect to host" does not.
        listed = !items.empty() && items.front().starts_with("Total running VMs:");
        if (!items.empty()) items.erase(items.begin()); // vmrun's header line
    } else {
        listed = !(items.size() == 1 && items.front().starts_with("VMControl error"));
        if (listed) FilterByState(items, capturePath);
    }
    if (!listed) return false;
    list = std::move(items);
    return true;
}

// vmware-cmd lists every registered VM; ask each, from the last, whether it runs. A VM whose state
// could not be learnt stays: suspending one that was off costs a logged failure, missing one that runs
// costs the VM.
void Hypervisor::FilterByState(std::vector<std::string>& items, const std::string& capturePath) {
    for (size_t i = items.size(); i-- > 0;) {
        uint32_t exitCode = 0;
        std::string why;
        switch (Run(state_.vmware.toolPath, "getstate", items[i], exitCode, true)) {
        case RunOutcome::Ran:
            if (const std::optional<std::string> state = ReadCapture(capturePath, why); !state) {
                reporter_.WriteLog("      " + why);
            } else if (TrimControls(IndentTextLines(*state, 0)) != "getstate() = on") {
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
            }
            break;
        case RunOutcome::NotStarted:
            dialogs_.ShowMessage("VMRun...getstate failed, exit code: " + std::to_string(exitCode));
            break;
        case RunOutcome::TimedOut: // its line is in the log
            break;
        case RunOutcome::Refused: // a text with a double quote is no VM path, so no running VM
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
}

} // namespace tarnwick
