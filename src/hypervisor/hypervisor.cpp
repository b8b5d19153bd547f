#include "hypervisor/hypervisor.h"

#include "common/scope_exit.h"
#include "hypervisor/tool_commands.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace tarnwick {

Hypervisor::Hypervisor(HypervisorServices services) : s_(std::move(services)) {
    if (!s_.toolTimeout) throw std::logic_error("Hypervisor: no tool time limit");
}

Hypervisor::RunOutcome Hypervisor::Run(const std::string& verb, const std::string& vmPath, uint32_t& exitCode,
                                       std::optional<uint32_t> capped) {
    exitCode = 0;
    const std::string capturePath = CapturePath();
    // A double quote would end cmd's quoting early and let the rest of the text act as commands.
    // No Windows path holds one, so such a text is a damaged entry, never something to run.
    const std::string& toolPath = s_.tools.toolPath;
    for (const std::string* text : {&toolPath, &verb, &vmPath, &capturePath}) {
        if (!ContainsDoubleQuote(*text)) continue;
        s_.reporter.WriteLog("      DosCmd refused, a double quote would break the command line: " + *text);
        return RunOutcome::Refused;
    }
    const std::string line = BuildToolCommandLine(s_.tools.useVmrun, toolPath, verb, vmPath, capturePath);
    s_.reporter.WriteLog("      DosCmd: " + line);
    // An earlier run's output must not pass for this one's when cmd cannot write the file.
    s_.files.DeleteFile(capturePath);
    const uint32_t own = ToolRunSeconds(verb, s_.toolTimeout());
    const bool cut = capped && std::max<uint32_t>(*capped, 1) < own;
    const uint32_t seconds = cut ? std::max<uint32_t>(*capped, 1) : own;
    const auto waiting = s_.captures.Waiting();
    switch (s_.processes.RunWithLimit(line, RunLimit{seconds, nullptr}, exitCode)) {
    case RunEnd::NotStarted:
        return RunOutcome::NotStarted;
    case RunEnd::Exited:
        return RunOutcome::Ran;
    case RunEnd::TimedOut:
        break;
    }
    s_.reporter.WriteLog(TimedOutLine(line, seconds));
    if (!cut) ++endedAtLimit_;
    // A guest that does not shut down in time is suspended instead, and that suspension is what counts.
    if (onLimitPassed_ && !cut && verb != "stop") onLimitPassed_();
    return RunOutcome::TimedOut;
}

std::optional<std::string> Hypervisor::ReadCapture(const std::string& capturePath, std::string& why) {
    try {
        std::optional<std::string> content = s_.files.ReadWholeFile(capturePath);
        if (!content) why = "(no output file was written)";
        return content;
    } catch (const IoError& e) {
        why = std::string("(the output file could not be read: ") + e.what() + ")";
        return std::nullopt;
    }
}

bool Hypervisor::ExecVmCommand(const std::string& verb, const std::string& vmPath) {
    const std::string capturePath = CapturePath();
    uint32_t exitCode = 0;
    const RunOutcome outcome = Run(verb, vmPath, exitCode);
    if (outcome == RunOutcome::Refused) return false; // its one log line says why
    // A tool that fails may say so on its error output only, or not at all: its exit code tells.
    bool succeeded = outcome == RunOutcome::Ran && exitCode == 0;
    std::optional<std::string> output;
    std::string why;
    if (outcome != RunOutcome::NotStarted) output = ReadCapture(capturePath, why);
    if (succeeded)
        succeeded =
            output && OutputMeansSuccess(TrimControls(IndentTextLines(*output, 0)), s_.tools.useVmrun);
    if (!succeeded) {
        s_.reporter.WriteLog("Error " + (verb == "stop" ? std::string("stopp") : verb) + "ing \"" + vmPath +
                             "\".");
        s_.reporter.WriteLog("  Exit code: " + std::to_string(exitCode));
        std::string shown = output ? IndentTextLines(*output, 5) : std::string();
        if (outcome == RunOutcome::Ran && !output) shown += IndentTextLines(why, 5);
        s_.reporter.WriteLog("  Command output: \r\n" + shown);
    }
    DropNestedCapture(capturePath);
    return succeeded;
}

std::vector<bool> Hypervisor::SuspendTogether(const std::vector<std::string>& vmPaths,
                                              uint32_t withinSeconds) {
    std::vector<std::string> lines;
    std::vector<size_t> runIndex(vmPaths.size(), SIZE_MAX);
    for (size_t i = 0; i < vmPaths.size(); ++i) {
        if (ContainsDoubleQuote(vmPaths[i]) || ContainsDoubleQuote(s_.tools.toolPath)) {
            s_.reporter.WriteLog("      DosCmd refused, a double quote would break the command line: " +
                                 vmPaths[i]);
            continue;
        }
        runIndex[i] = lines.size();
        // vmrun is started as it is, without cmd: nothing is captured, and each start costs time the
        // session does not have. vmware-cmd is a script that needs cmd.
        lines.push_back(s_.tools.useVmrun ? "\"" + s_.tools.toolPath + "\" suspend \"" + vmPaths[i] + "\""
                                          : BuildToolCommandLine(false, s_.tools.toolPath, "suspend",
                                                                 vmPaths[i], std::nullopt));
        s_.reporter.WriteLog("      DosCmd: " + lines.back());
    }
    const auto codes = s_.processes.RunTogether(lines, uint64_t{withinSeconds} * 1000);
    std::vector<bool> suspended(vmPaths.size(), false);
    for (size_t i = 0; i < vmPaths.size(); ++i)
        suspended[i] = runIndex[i] < codes.size() && codes[runIndex[i]] == 0u;
    return suspended;
}

void Hypervisor::DropNestedCapture(const std::string& capturePath) {
    if (capturePath != s_.captures.Outer()) s_.files.DeleteFile(capturePath);
}

bool Hypervisor::ToolsRunning(const std::string& vmPath, uint32_t withinSeconds) {
    const std::string capturePath = CapturePath();
    uint32_t exitCode = 0;
    const bool ran = Run(ToolsStateVerb, vmPath, exitCode, withinSeconds) == RunOutcome::Ran;
    std::string why;
    const std::optional<std::string> output = ran ? ReadCapture(capturePath, why) : std::nullopt;
    const bool ready = output && ToolsStateMeansReady(IndentTextLines(*output, 0));
    DropNestedCapture(capturePath);
    return ready;
}

bool Hypervisor::ListRunningVms(std::vector<std::string>& list) {
    const std::string capturePath = CapturePath();
    const ScopeExit removeCapture([&] { s_.files.DeleteFile(capturePath); });
    uint32_t exitCode = 0;
    const RunOutcome outcome = Run(s_.tools.useVmrun ? "list" : "-l", std::string(), exitCode);
    // A listing that failed is no empty listing: the callers must not take it for "nothing runs".
    std::string why;
    const std::optional<std::string> content =
        outcome == RunOutcome::Ran && exitCode == 0 ? ReadCapture(capturePath, why) : std::nullopt;
    if (!content) {
        if (!why.empty()) s_.reporter.WriteLog("      " + why);
        s_.dialogs.ShowMessage("VMRun failed, exit code: " + std::to_string(exitCode));
        return false;
    }
    std::vector<std::string> items = SplitListing(*content);
    bool listed = true;
    if (s_.tools.useVmrun) {
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
        switch (Run("getstate", items[i], exitCode)) {
        case RunOutcome::Ran:
            if (const std::optional<std::string> state = ReadCapture(capturePath, why); !state) {
                s_.reporter.WriteLog("      " + why);
            } else if (TrimControls(IndentTextLines(*state, 0)) != "getstate() = on") {
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
            }
            break;
        case RunOutcome::NotStarted:
            s_.dialogs.ShowMessage("VMRun...getstate failed, exit code: " + std::to_string(exitCode));
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
