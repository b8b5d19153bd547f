#include "sequences/sequencer.h"

#include "common/scope_exit.h"
#include "common/text_case.h"
#include "config/control_list.h"
#include "hypervisor/tool_commands.h"
#include "sequences/delay.h"
#include "sequences/stop_action.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace tarnwick {

namespace {

std::string InQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// How often a wait entry asks whether the VM's tools run.
constexpr uint64_t ToolsPollMs = 2000;

const char* const ListChangedLine = "Start sequence stopped: the list was changed during the run; the "
                                    "remaining entries were not carried out.";
const char* const ResumeOffLine =
    "Not restarting the VMs left running at logoff (the option is off); Tarnwick.resume is kept.";

// A VM or Team entry, which the suspension's first pass suspends.
bool IsSuspendedEntry(const std::string& text) {
    return !IsIllegalText(text) && !IsDelayText(text) && !IsWaitText(text) && !IsPromptText(text);
}

bool Contains(const std::vector<std::string>& paths, const std::string& path) {
    return std::any_of(paths.begin(), paths.end(),
                       [&](const std::string& p) { return SameTextIgnoringCase(p, path); });
}

} // namespace

// A start sequence measures "a suspension has begun" from here on. Like every flag here, starting_ is
// cleared however the scope is left: a log that cannot be written abandons the handler.
auto Sequencer::BeginStart() {
    suspensionsAtStart_ = suspensionsBegun_;
    startedInRun_.clear();
    startTally_ = RunTally{};
    return ScopedValue(starting_, true);
}

Sequencer::Sequencer(SequenceServices services) : s_(std::move(services)) {
    if (!s_.localDateTime || !s_.quitApp)
        throw std::logic_error("Sequencer: a service function is not given");
}

std::optional<std::string> Sequencer::StopReason() const {
    if (suspensionsBegun_ != suspensionsAtStart_) return "a suspension has begun";
    if (closing_) return "Tarnwick is closing";
    return std::nullopt;
}

void Sequencer::StartAll() {
    if (starting_ || suspending_) {
        s_.reporter.WriteLog("Start sequence not run: another sequence is running.");
        return;
    }
    if (closing_) {
        s_.reporter.WriteLog("Start sequence not run: Tarnwick is closing.");
        return;
    }
    s_.gate.Hold();
    {
        const auto starting = BeginStart();
        if (StartListed() && RestartRecorded()) s_.reporter.ShowStatus("VMs Started: " + s_.localDateTime());
    }
    Notice(RunKind::Start, startTally_);
}

bool Sequencer::StartListed() {
    s_.reporter.ShowStatus("Starting VMs...");

    // Entries are acted on by index, and the user may edit the list while a step waits. The texts as
    // they stood at the start tell whether an index still means the entry it meant then.
    const size_t n = s_.list.Count();
    std::vector<std::string> expected;
    expected.reserve(n);
    for (size_t i = 0; i < n; ++i)
        expected.push_back(s_.list.Text(i));

    for (size_t i = 0;; ++i) {
        if (const auto why = StopReason()) {
            s_.reporter.WriteLog("Start sequence stopped: " + *why + "; nothing more is started.");
            return false;
        }
        if (i == n) return true;
        if (i >= s_.list.Count() || s_.list.Text(i) != expected[i]) {
            s_.reporter.WriteLog(ListChangedLine);
            return false;
        }
        if (s_.list.Enabled(i)) RunEntry(i, expected[i], &expected);
    }
}

// After the list, so that a VM both listed and recorded starts in its list place and is then found
// running. The record goes only once every VM in it was dealt with; a run cut short keeps it whole.
bool Sequencer::RestartRecorded() {
    std::vector<std::string> paths;
    try {
        paths = s_.resume.record.Paths();
    } catch (const IoError& e) {
        s_.reporter.WriteLog(std::string("Tarnwick.resume could not be read: ") + e.what());
        return true;
    }
    if (paths.empty()) return true;
    if (!s_.resume.options.resumeOthers) {
        s_.reporter.WriteLog(ResumeOffLine);
        return true;
    }
    // A listing that failed has been logged; the starts are then tried all the same.
    const std::vector<std::string> running = s_.vms.ListRunningVms().value_or(std::vector<std::string>());
    for (const std::string& path : paths) {
        if (const auto why = StopReason()) {
            s_.reporter.WriteLog("Start sequence stopped: " + *why + "; nothing more is started.");
            return false;
        }
        if (!s_.resume.files.FileExists(path)) {
            s_.reporter.WriteLog("Skipping VM left running at logoff (its .vmx no longer exists): " + path);
            continue;
        }
        if (Contains(running, path)) {
            s_.reporter.WriteLog("Skipping VM left running at logoff (it is running already): " + path);
            continue;
        }
        s_.reporter.ShowStatus("Restarting VM left running at logoff: " + path);
        if (RefuseAfterStatus(path)) return false;
        ++startTally_.tried;
        RunStart(path, "VM", [&] {
            if (!s_.vms.ExecVmCommand("start", path)) ++startTally_.failed;
        });
    }
    if (!s_.resume.record.Delete()) s_.reporter.WriteLog("Tarnwick.resume could not be deleted.");
    return true;
}

void Sequencer::LaunchSelected() {
    if (starting_ || suspending_ || closing_) {
        s_.reporter.WriteLog(std::string("Launch button ignored: ") +
                             (closing_ ? "Tarnwick is closing." : "a sequence is running."));
        s_.dialogs.Beep();
        return;
    }
    const std::optional<size_t> selected = s_.list.Selection();
    if (!selected || *selected >= s_.list.Count()) {
        s_.dialogs.Beep();
        return;
    }
    // Held before the entry runs rather than after, so that a logoff arriving while its VM starts is
    // refused and that VM suspended.
    s_.gate.Hold();
    {
        const auto starting = BeginStart();
        RunEntry(*selected, s_.list.Text(*selected), nullptr);
    }
    s_.reporter.ShowStatus("");
    Notice(RunKind::Start, startTally_);
}

void Sequencer::LimitPassed() {
    if (starting_) ++startTally_.limitsPassed;
    if (suspending_) ++suspendTally_.limitsPassed;
}

void Sequencer::Notice(RunKind kind, const RunTally& tally) const {
    if (!onFailureNotice_) return;
    if (const auto text = FailureNoticeText(kind, tally)) onFailureNotice_(*text);
}

void Sequencer::RunEntry(size_t i, const std::string& text, std::vector<std::string>* expected) {
    switch (KindOf(text)) {
    case EntryKind::Illegal:
        s_.reporter.WriteLog("Skipping Illegal VM name: " + InQuotes(text));
        break;
    case EntryKind::SkipMarker:
        s_.reporter.ShowStatus("Skipped VM: " + text);
        if (i < s_.list.Count() && s_.list.Text(i) == text)
            s_.list.ReplaceText(i, text.substr(SkipPrefix.size()));
        else
            s_.reporter.WriteLog("Skip marker not removed: the list was changed during the run.");
        break;
    case EntryKind::Team:
        OpenTeam(text);
        break;
    case EntryKind::Delay:
        Delay(text);
        break;
    case EntryKind::Wait:
        Wait(i, text);
        break;
    case EntryKind::Prompt:
        Prompt(i, text, expected);
        break;
    case EntryKind::VM:
        StartVm(i, text);
        break;
    }
}

// Every status lets messages through, and with them a logoff or Exit.
bool Sequencer::RefuseAfterStatus(const std::string& text) {
    const auto why = StopReason();
    if (why) s_.reporter.WriteLog("Not carried out (" + *why + "): " + text);
    return why.has_value();
}

void Sequencer::OpenTeam(const std::string& text) {
    s_.reporter.ShowStatus("Opening Team: " + text);
    if (RefuseAfterStatus(text)) return;
    ++startTally_.tried;
    if (ContainsDoubleQuote(text)) {
        ++startTally_.failed;
        s_.reporter.WriteLog("Error launching " + InQuotes(text) + ". The path holds a double quote.");
        return;
    }
    RunStart(text, "Team", [&] {
        uint32_t exitCode = 0;
        if (!s_.processes.RunCommandLine("vmware -x -q " + InQuotes(text), s_.vmware.toolDir, false,
                                         exitCode)) {
            ++startTally_.failed;
            s_.reporter.WriteLog("Error launching " + InQuotes(text) +
                                 ". Exit code: " + std::to_string(exitCode));
        }
    });
}

void Sequencer::Delay(const std::string& text) {
    const std::string_view rest = DelaySeconds(text);
    const auto seconds = DelayLength(rest);
    if (!seconds) {
        s_.reporter.WriteLog(InvalidDelayLine(text));
        return;
    }
    SleepSeconds(text, rest, *seconds);
}

void Sequencer::SleepSeconds(const std::string& text, std::string_view secondsText, int32_t seconds) {
    s_.reporter.ShowStatus("Sleeping for " + std::string(secondsText) + " seconds...");
    if (RefuseAfterStatus(text)) return;
    // A suspension or Exit meanwhile ends the delay there, as it ends a wait: the process would otherwise
    // outlive Exit, and hold the single instance, until the delay had run out.
    SleepMilliseconds(s_.processes, static_cast<uint64_t>(seconds) * 1000,
                      [this] { return StopReason().has_value(); });
}

void Sequencer::Wait(size_t i, const std::string& text) {
    const std::string_view rest = WaitSeconds(text);
    const auto seconds = DelayLength(rest);
    if (!seconds) {
        s_.reporter.WriteLog(InvalidWaitLine(text));
        return;
    }
    const WaitTarget target = ChooseWaitTarget(s_.list, i, s_.vmware.useVmrun, [this](size_t j) {
        const auto found = startedInRun_.find(j);
        return found != startedInRun_.end() && found->second == s_.list.Text(j);
    });
    if (target.fallback != WaitFallback::None) {
        s_.reporter.WriteLog(WaitFallbackLine(target, text));
        SleepSeconds(text, rest, *seconds);
        return;
    }

    const std::string limit = std::to_string(*seconds);
    const uint64_t limitMs = static_cast<uint64_t>(*seconds) * 1000;
    const uint64_t begin = s_.processes.TickMilliseconds();
    s_.reporter.ShowStatus("Waiting up to " + limit + " seconds for " + target.vm + " to be ready...");
    if (RefuseAfterStatus(text)) return;
    // A logoff or Exit handled during the wait ends it; the run then stops at its next entry.
    while (!StopReason()) {
        // A hung query must not stretch the wait: it gets what is left of it, rounded up.
        const uint64_t spent = s_.processes.TickMilliseconds() - begin;
        const uint64_t left = spent < limitMs ? limitMs - spent : 0;
        const bool ready = s_.vms.ToolsRunning(target.vm, static_cast<uint32_t>((left + 999) / 1000));
        const uint64_t elapsed = s_.processes.TickMilliseconds() - begin;
        if (ready) {
            s_.reporter.WriteLog("  ready after " + std::to_string((elapsed + 500) / 1000) + " seconds.");
            return;
        }
        if (elapsed >= limitMs) {
            s_.reporter.WriteLog("  not ready after " + limit + " seconds; going on.");
            return;
        }
        SleepMilliseconds(s_.processes, std::min<uint64_t>(ToolsPollMs, limitMs - elapsed));
    }
}

void Sequencer::Prompt(size_t i, const std::string& text, std::vector<std::string>* expected) {
    s_.reporter.ShowStatus("Awaiting User Response...");
    if (RefuseAfterStatus(text)) return;
    if (i >= s_.list.Count() || s_.list.Text(i) != text) {
        s_.reporter.WriteLog("Prompt not asked: the list was changed during the run.");
        return;
    }
    const bool hasNext = i + 1 < s_.list.Count();
    const std::string next = hasNext ? s_.list.Text(i + 1) : "(End of list)";
    if (s_.dialogs.Confirm("Launch VM: " + next + "?") || !hasNext) return;

    // The question runs its own message loop; mark only the entry the user was asked about.
    if (i + 1 >= s_.list.Count() || s_.list.Text(i + 1) != next) {
        s_.reporter.WriteLog("Prompt answer not applied: the list was changed while the question was open.");
        return;
    }
    const std::string marked = std::string(SkipPrefix) + next;
    s_.list.ReplaceText(i + 1, marked);
    if (expected && i + 1 < expected->size()) (*expected)[i + 1] = marked;
}

void Sequencer::StartVm(size_t i, const std::string& text) {
    s_.reporter.ShowStatus("Starting VM: " + text);
    if (RefuseAfterStatus(text)) return;
    ++startTally_.tried;
    RunStart(text, "VM", [&] {
        if (s_.vms.ExecVmCommand("start", text))
            startedInRun_[i] = text;
        else
            ++startTally_.failed;
    });
}

template <class Start> void Sequencer::RunStart(const std::string& text, const char* what, Start start) {
    const uint64_t before = suspensionsBegun_;
    // However the start is left, a log that cannot be written included: what it brought up is suspended
    // and the session that waits for it is let go. Otherwise the VM runs on and every later logoff is
    // refused until Exit.
    std::exception_ptr failure;
    {
        const auto underWay = ScopedValue(startUnderWay_, true);
        try {
            start();
        } catch (...) {
            failure = std::current_exception();
        }
        if (suspensionsBegun_ == before) {
            if (failure) std::rethrow_exception(failure);
            return;
        }
        // The suspension ran while this start was under way and may not have seen what it started; it is
        // dealt with by its stop action, as the suspension would have (a Team always suspends).
        const StopAction action = ActionAtSuspension(s_.list, text, false).value_or(StopAction::Suspend);
        const bool suspend = action == StopAction::Suspend;
        try {
            if (action != StopAction::Leave)
                s_.reporter.WriteLog(std::string(what) + " started while a suspension ran; " +
                                     (suspend ? "suspending" : "shutting down") + " it now: " + text);
            if (suspend) s_.reporter.ShowStatus(std::string("  Suspending ") + what + ": " + text);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        try {
            if (suspend)
                s_.vms.ExecVmCommand("suspend", text);
            else
                StopVm(VmStopServices{s_.vms, s_.reporter, s_.processes,
                                      ToolTimeoutSeconds(s_.resume.options).value_or(DefaultToolTimeout)},
                       action, text);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    try {
        if (onStartCaughtUp_) onStartCaughtUp_();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
}

bool Sequencer::SuspendAll() {
    if (suspending_) {
        s_.reporter.WriteLog("Suspension already running; not starting another.");
        return false;
    }
    {
        const auto suspending = ScopedValue(suspending_, true);
        ++suspensionsBegun_;
        suspendTally_ = RunTally{};
        s_.reporter.ShowStatus("Suspending cataloged VMs in reverse specified order...");
        size_t done = 0, total = 0;
        const auto progress = [&] {
            if (onSuspendProgress_) onSuspendProgress_(done, total);
        };
        for (size_t i = 0; i < s_.list.Count(); ++i)
            if (s_.list.Enabled(i) && IsSuspendedEntry(s_.list.Text(i))) ++total;
        progress();
        // Up to ParallelSuspend suspends at once. A delay or wait entry is a barrier: the VMs above it
        // start their suspends only once those below it are done, which keeps an order that the user
        // expressed with delays.
        const size_t most = ParallelSuspendCount(s_.resume.options);
        std::vector<std::function<void()>> batch;
        const auto step = [&](std::function<void()> suspend) {
            if (most > 1)
                batch.push_back(std::move(suspend));
            else
                suspend();
        };
        const auto barrier = [&] {
            RunAtOnce(batch, most);
            batch.clear();
        };
        for (size_t i = s_.list.Count(); i-- > 0;) {
            // Entries removed meanwhile are gone; the second pass still finds their VMs.
            if (i >= s_.list.Count() || !s_.list.Enabled(i)) continue;
            const std::string text = s_.list.Text(i);
            // The kinds in this pass's own order: a delay, wait or prompt is never taken for a Team here, and
            // a skip marker is no kind of its own.
            if (IsIllegalText(text)) {
                s_.reporter.WriteLog("Skipping Illegal VM name: " + InQuotes(text));
            } else if (IsDelayText(text)) {
                barrier();
                const std::string_view rest = DelaySeconds(text);
                if (const auto seconds = DelayLength(rest)) {
                    s_.reporter.ShowStatus("Sleeping for " + std::string(rest) + "/10 seconds...");
                    SleepMilliseconds(s_.processes, TenthOfDelayMilliseconds(*seconds));
                } else {
                    s_.reporter.WriteLog(InvalidDelayLine(text));
                }
            } else if (IsWaitText(text)) {
                barrier();
                s_.reporter.ShowStatus("Skipping startup wait for a VM to be ready...");
            } else if (IsPromptText(text)) {
                s_.reporter.ShowStatus("Skipping startup user prompt...");
            } else {
                step([this, text, &done, &progress] {
                    if (Contains(suspendsStarted_, text)) return;
                    SuspendOnce(text, false);
                    ++done;
                    progress();
                });
            }
        }
        barrier();
        s_.reporter.ShowStatus("Suspending any other running VMs...");
        const std::vector<std::string> others = s_.vms.ListRunningVms().value_or(std::vector<std::string>());
        total = done + others.size();
        progress();
        for (const std::string& path : others) {
            step([this, path, &done, &progress] {
                if (Contains(suspendsStarted_, path)) return;
                if (SuspendOnce(path, true)) Record(path);
                ++done;
                progress();
            });
        }
        barrier();
        s_.reporter.ShowStatus("");
    }
    Notice(RunKind::Suspend, suspendTally_);
    if (onSuspensionComplete_) onSuspensionComplete_();
    return true;
}

// The first step runs here; each run it waits for may start the next ones nested in its wait, up to
// most runs under way, so that every step stays one call that returns when its VM is done.
void Sequencer::RunAtOnce(const std::vector<std::function<void()>>& steps, size_t most) {
    if (steps.empty()) return;
    size_t next = 0;
    const std::function<bool()> take = [&] {
        if (next >= steps.size()) return false;
        steps[next++]();
        return true;
    };
    s_.processes.OfferWhileWaiting(most, take);
    const ScopeExit stop([this] { s_.processes.OfferWhileWaiting(0, nullptr); });
    while (take()) {
    }
}

// A forced ending handled while this suspend runs leaves this VM to it.
bool Sequencer::SuspendOnce(const std::string& text, bool wasRunning) {
    suspendsStarted_.push_back(text);
    const ScopeExit done([this] { suspendsStarted_.pop_back(); });
    return Suspend(text, wasRunning);
}

bool Sequencer::SuspendRunningAtOnce(const std::string& kind, uint32_t withinSeconds) {
    // The session ends: a start under way stops, and suspends what it brought up as it returns; the
    // suspension's steps not yet begun are not begun in this handler's waits, and are taken over here.
    closing_ = true;
    ++suspensionsBegun_;
    s_.processes.OfferWhileWaiting(0, nullptr);
    const uint64_t begin = s_.processes.TickMilliseconds();
    std::vector<std::string> vms;
    if (const auto running = s_.vms.ListRunningVms()) {
        vms = *running;
    } else {
        // Without a listing, the list's VMs are what we know of.
        for (size_t i = 0; i < s_.list.Count(); ++i) {
            const std::string text = s_.list.Text(i);
            if (s_.list.Enabled(i) && IsSuspendedEntry(text) && !IsTeamText(text)) vms.push_back(text);
        }
    }
    std::erase_if(vms, [this](const std::string& vm) { return Contains(suspendsStarted_, vm); });
    // Left running on purpose stays so even now; a guest shutdown has no time left, so it is suspended.
    std::erase_if(vms, [this](const std::string& vm) {
        if (ActionAtSuspension(s_.list, vm, false) != StopAction::Leave) return false;
        s_.reporter.WriteLog("  Leaving VM running: " + vm);
        return true;
    });
    if (vms.empty()) return true;
    s_.reporter.WriteLog("Forced Windows " + kind + ": suspending " + std::to_string(vms.size()) +
                         " VMs at once...");
    // Started once, never again: a second forced message finds them here.
    suspendsStarted_.insert(suspendsStarted_.begin(), vms.begin(), vms.end());
    const uint64_t spentMs = s_.processes.TickMilliseconds() - begin;
    const uint64_t leftMs =
        uint64_t{withinSeconds} * 1000 > spentMs ? uint64_t{withinSeconds} * 1000 - spentMs : 0;
    const std::vector<bool> suspended =
        s_.vms.SuspendTogether(vms, static_cast<uint32_t>(std::max<uint64_t>(leftMs / 1000, 1)));
    bool all = true;
    for (size_t i = 0; i < vms.size(); ++i) {
        const bool ok = i < suspended.size() && suspended[i];
        all = all && ok;
        s_.reporter.WriteLog((ok ? "  Suspended: " : "  Not suspended: ") + vms[i]);
    }
    return all;
}

// The list's entries are suspended whether they run or not, so only a VM that was listed as running
// and stayed so counts as a failure; the second pass lists every VM the first one left running. A VM
// left running on purpose is neither; one shut down, or suspended after its shutdown failed, is done.
bool Sequencer::Suspend(const std::string& text, bool wasRunning) {
    const std::optional<StopAction> action = ActionAtSuspension(s_.list, text, wasRunning);
    if (!action) return false;
    const uint32_t limit = ToolTimeoutSeconds(s_.resume.options).value_or(DefaultToolTimeout);
    const VmStopEnd end = StopVm(VmStopServices{s_.vms, s_.reporter, s_.processes, limit}, *action, text);
    if (end == VmStopEnd::LeftRunning) return false;
    const bool done = end != VmStopEnd::Failed;
    if (done || wasRunning) ++suspendTally_.tried;
    if (!done && wasRunning) ++suspendTally_.failed;
    return done;
}

// Written as each VM is suspended rather than once at the end: a session ended by force ("Shut down
// anyway") may not let the pass finish, and what was suspended until then is recorded.
void Sequencer::Record(const std::string& vmPath) {
    const std::optional<size_t> listed = s_.list.FindText(vmPath);
    if (listed && s_.list.Enabled(*listed)) return;
    if (const Outcome added = s_.resume.record.Add(vmPath); !added.ok)
        s_.reporter.WriteLog("Not recorded in Tarnwick.resume: " + vmPath + " (" + added.why + ")");
}

void Sequencer::ExitWithSuspendOffer() {
    if (exitAsking_) {
        s_.reporter.WriteLog("Exit ignored: its question is already open.");
        return;
    }
    if (suspending_) {
        s_.reporter.WriteLog("Exit put off: a suspension is running; choose Exit again when it is done.");
        s_.dialogs.Beep();
        return;
    }
    bool suspend = false;
    {
        const auto asking = ScopedValue(exitAsking_, true);
        suspend = s_.dialogs.Confirm("Do you want to suspend all your VMs before closing?");
    }
    if (suspend) SuspendAll();
    s_.reporter.WriteLog("Tarnwick being closed by user...");
    closing_ = true;
    s_.quitApp();
}

} // namespace tarnwick
