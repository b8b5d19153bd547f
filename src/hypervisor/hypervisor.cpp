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
    // The run counts as waiting for as long as it is in the runner, also when a handler inside throws.
    const auto nested = ScopedValue(depth_, depth_ + 1);
    return processes_.RunCommandLine(line, std::string(), true, exitCode) ? RunOutcome::Ran
                                                                          : RunOutcome::NotStarted;
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
    bool succeeded = outcome == RunOutcome::Ran;
    if (succeeded && capture)
        succeeded =
            OutputMeansSuccess(TrimControls(ReadTextFile(files_, capturePath, 0)), state_.vmware.useVmrun);
    if (!succeeded) {
        reporter_.WriteLog("Error " + verb + "ing \"" + vmPath + "\".");
        reporter_.WriteLog("  Exit code: " + std::to_string(exitCode));
        reporter_.WriteLog("  Command output: \r\n" + ReadTextFile(files_, capturePath, 5));
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
    const bool ready = ran && ToolsStateMeansReady(ReadTextFile(files_, capturePath, 0));
    if (capturePath != state_.tempFilePath) files_.DeleteFile(capturePath);
    return ready;
}

bool Hypervisor::ListRunningVms(std::vector<std::string>& list) {
    const std::string capturePath = CapturePath();
    const ScopeExit removeCapture([&] { files_.DeleteFile(capturePath); });
    uint32_t exitCode = 0;
    if (Run(state_.vmware.toolPath, state_.vmware.useVmrun ? "list" : "-l", std::string(), exitCode, true) !=
        RunOutcome::Ran) {
        dialogs_.ShowMessage("VMRun failed, exit code: " + std::to_string(exitCode));
        return false;
    }
    const std::optional<std::string> content = files_.ReadWholeFile(capturePath);
    list = content ? SplitListing(*content) : std::vector<std::string>();
    bool listed = content.has_value();
    if (state_.vmware.useVmrun) {
        // Only a list starts with its count; an error such as "Error: Unable to connect to host" does not.
        listed = listed && !list.empty() && list.front().starts_with("Total running VMs:");
        if (!list.empty()) list.erase(list.begin()); // vmrun's header line
    } else {
        listed = listed && !(list.size() == 1 && list.front().starts_with("VMControl error"));
        if (listed) FilterByState(list, capturePath);
    }
    if (!listed) list.clear();
    return listed;
}

// vmware-cmd lists every registered VM; ask each, from the last, whether it runs.
void Hypervisor::FilterByState(std::vector<std::string>& items, const std::string& capturePath) {
    for (size_t i = items.size(); i-- > 0;) {
        uint32_t exitCode = 0;
        switch (Run(state_.vmware.toolPath, "getstate", items[i], exitCode, true)) {
        case RunOutcome::Ran:
            if (TrimControls(ReadTextFile(files_, capturePath, 0)) != "getstate() = on")
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        case RunOutcome::NotStarted:
            dialogs_.ShowMessage("VMRun...getstate failed, exit code: " + std::to_string(exitCode));
            break;
        case RunOutcome::Refused: // a text with a double quote is no VM path, so no running VM
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
}

} // namespace tarnwick
