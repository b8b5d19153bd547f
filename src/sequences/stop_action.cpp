#include "sequences/stop_action.h"

#include "sequences/delay.h"

#include <algorithm>
#include <vector>

namespace tarnwick {

namespace {

// How often a shutdown asks whether the VM is off yet.
constexpr uint64_t OffPollMs = 1000;

bool Suspend(const VmStopServices& s, const std::string& text) {
    return s.vms.ExecVmCommand("suspend", text);
}

// The tool's soft stop answers once the guest has shut down, but the VM may still be listed for a moment:
// the listing is asked until it no longer shows the VM, within what is left of the limit. A stop the tool
// refused or gave up on, or a listing that failed (and has told the user), ends the wait.
bool ShutDown(const VmStopServices& s, const std::string& vmPath, uint64_t& elapsedMs) {
    const uint64_t begin = s.processes.TickMilliseconds();
    const uint64_t limitMs = uint64_t{s.limitSeconds} * 1000;
    const auto spent = [&] { return elapsedMs = s.processes.TickMilliseconds() - begin; };
    if (!s.vms.ExecVmCommand("stop", vmPath)) {
        spent();
        return false;
    }
    while (spent() < limitMs) {
        const std::optional<std::vector<std::string>> running = s.vms.ListRunningVms();
        if (!running) return false;
        if (std::none_of(running->begin(), running->end(),
                         [&](const std::string& p) { return SameTextIgnoringCase(p, vmPath); }))
            return true;
        if (spent() < limitMs) SleepMilliseconds(s.processes, std::min(OffPollMs, limitMs - elapsedMs));
    }
    return false;
}

} // namespace

VmStopEnd StopVm(const VmStopServices& s, StopAction action, const std::string& text) {
    const bool team = IsTeamText(text);
    if (team || action == StopAction::Suspend) {
        s.reporter.ShowStatus((team ? "  Suspending Team: " : "  Suspending VM: ") + text);
        return Suspend(s, text) ? VmStopEnd::Suspended : VmStopEnd::Failed;
    }
    if (action == StopAction::Leave) {
        s.reporter.ShowStatus("  Leaving VM running: " + text);
        return VmStopEnd::LeftRunning;
    }
    s.reporter.ShowStatus("  Shutting down VM: " + text);
    uint64_t elapsedMs = 0;
    if (ShutDown(s, text, elapsedMs)) return VmStopEnd::ShutDown;
    // Never a hard power-off: that loses what the guest has not saved.
    s.reporter.WriteLog("    not off after " + std::to_string(elapsedMs / 1000) +
                        " seconds; suspending instead.");
    return Suspend(s, text) ? VmStopEnd::Suspended : VmStopEnd::Failed;
}

std::optional<StopAction> ActionAtSuspension(const ControlListView& list, const std::string& vmPath,
                                             bool secondPass) {
    const std::optional<size_t> listed = list.FindText(vmPath);
    if (!listed || *listed >= list.Count() || KindOf(vmPath) != EntryKind::VM) return StopAction::Suspend;
    const StopAction action = list.Action(*listed);
    if (!secondPass || !list.Enabled(*listed)) return action;
    // The list's pass has dealt with this entry: a shutdown it tried left the VM running, so only a
    // suspension is left to try.
    if (action == StopAction::Leave) return std::nullopt;
    return StopAction::Suspend;
}

} // namespace tarnwick
