#include "sequences/session_end.h"

#include "common/scope_exit.h"

#include <utility>

namespace tarnwick {

namespace {

std::string KindName(bool logoff) {
    return logoff ? "Logoff" : "Shutdown";
}

} // namespace

SessionEnd::SessionEnd(HeldLog& log, EndSessionGate& gate, Sequencer& sequencer, SessionPlatform& platform)
    : reporter_(log), gate_(gate), sequencer_(sequencer), platform_(platform) {
    sequencer_.SetSuspensionCompleteHandler([this] { AfterSuspension(); });
    sequencer_.SetStartCaughtUpHandler([this] { AfterStartCaughtUp(); });
    sequencer_.SetSuspendProgressHandler([this](size_t done, size_t total) { ShowProgress(done, total); });
}

bool SessionEnd::QueryEndSession(uint32_t lParam) {
    const HeldLog::Hold hold(reporter_);
    const std::string kind = KindName((lParam & ~EndSessionCritical) == EndSessionLogoff);
    if (lParam & EndSessionCritical) {
        // A refusal would not be heeded: the suspension happens before the answer, as far as it can.
        try {
            ForcedSuspension(kind);
        } catch (const IoError& e) {
            reporter_.Remember(e.what());
        }
        lastQueryRefused_ = false;
        okayed_ = true;
        reporter_.WriteLog("Okaying Windows " + kind + " request.");
        return true;
    }
    // A suspension that runs, whoever asked for it, must finish before the session may end; so must a
    // start, whose VM may have come up after the suspension looked.
    if (gate_.Allowed() && !sequencer_.IsSuspending() && !sequencer_.IsStartUnderWay()) {
        lastQueryRefused_ = false;
        okayed_ = true;
        reporter_.WriteLog("Okaying Windows " + kind + " request.");
        return true;
    }
    lastQueryRefused_ = true;
    refusalActedOn_ = false;
    okayed_ = false;
    refusalCovered_ = reissuePending_;
    refusedExitKind_ = lParam == EndSessionLogoff ? ExitLogoff : ExitShutdown;
    platform_.CallBackAfterRefusal();
    reporter_.WriteLog("Denying Windows " + kind + " request so we can suspend VMs.");
    return false;
}

void SessionEnd::RefusalStood() {
    const HeldLog::Hold hold(reporter_);
    if (!lastQueryRefused_) return; // the abort came first and was acted on
    lastQueryRefused_ = false;
    refusalActedOn_ = true;
    screenShowing_ = true;
    exitKind_ = refusedExitKind_;
    const std::string kind = KindName(exitKind_ == ExitLogoff);
    try {
        reporter_.WriteLog("Windows " + kind + " held: suspending VMs without waiting for Cancel.");
        ActOnRefusal(kind);
    } catch (const IoError& e) {
        reporter_.Remember(e.what());
    }
}

void SessionEnd::ShowProgress(size_t done, size_t total) {
    if (!screenShowing_ || !reissuePending_ || forced_) return;
    const std::string text =
        "Suspending virtual machines (" + std::to_string(done) + " of " + std::to_string(total) + " done)...";
    gate_.ShowReason(text);
    // Wine has no block reasons: the log says what the screen showed.
    reporter_.WriteLog(text);
}

void SessionEnd::EndSession(bool ending, uint32_t lParam) {
    const HeldLog::Hold hold(reporter_);
    okayed_ = false;
    if (ending) ending_ = true;
    // Anything else that goes wrong abandons the step, as everywhere, but is not shown in a box here.
    try {
        HandleEndSession(ending, lParam);
    } catch (const IoError& e) {
        reporter_.Remember(e.what());
    }
}

void SessionEnd::HandleEndSession(bool ending, uint32_t lParam) {
    const bool logoff = (lParam & ~EndSessionCritical) == EndSessionLogoff;
    exitKind_ = logoff ? ExitLogoff : ExitShutdown;
    const std::string kind = KindName(logoff);
    if (ending) {
        // "Shut down anyway" after our refusal, or an end that came while a suspension ran.
        ForcedSuspension(kind);
        reporter_.WriteLog("Windows " + kind + " occuring; Session Terminating...");
        return;
    }
    reporter_.WriteLog("Windows " + kind + " aborted.");
    screenShowing_ = false;
    if (std::exchange(refusalActedOn_, false)) {
        // The suspension began at the refusal; the session ends when it is complete, as it would have.
        if (reissuePending_) reporter_.WriteLog(RunningLine(kind));
        return;
    }
    if (!lastQueryRefused_) {
        reporter_.WriteLog("  (not refused by Tarnwick: nothing suspended, nothing re-initiated)");
        return;
    }
    lastQueryRefused_ = false;
    ActOnRefusal(kind);
}

std::string SessionEnd::RunningLine(const std::string& kind) const {
    if (waitingForStart_)
        return "  (a start is under way; Windows " + kind +
               " will be re-initiated when what it started is suspended)";
    return "  (a suspension is running; Windows " + kind + " will be re-initiated when it is complete)";
}

void SessionEnd::ActOnRefusal(const std::string& kind) {
    if (reissuePending_) {
        reporter_.WriteLog(RunningLine(kind));
        return;
    }
    if (refusalCovered_) {
        reporter_.WriteLog("  (Windows " + kind + " was already re-initiated)");
        return;
    }
    if (sequencer_.IsSuspending() || waitingForStart_) {
        reissuePending_ = true;
        reporter_.WriteLog(RunningLine(kind));
        return;
    }
    if (gate_.Allowed()) {
        // Refused while another suspension ran, which has completed since.
        reporter_.WriteLog("  (the VMs were suspended meanwhile; not suspending again)");
        Reissue();
        return;
    }
    reissuePending_ = true;
    // A suspension that was not started, or was abandoned, must not make a later one, such as Exit's,
    // end the session.
    ScopeExit notOwed([this] { reissuePending_ = false; });
    if (sequencer_.SuspendAll()) notOwed.Dismiss();
}

void SessionEnd::ForcedSuspension(const std::string& kind) {
    forced_ = true;
    // What a refusal was owed is done here; the moment after it finds nothing left to do.
    lastQueryRefused_ = false;
    if (gate_.Allowed() && !sequencer_.IsSuspending() && !sequencer_.IsStartUnderWay()) return;
    if (sequencer_.SuspendRunningAtOnce(kind, ForcedSuspendSeconds)) gate_.Release();
}

void SessionEnd::AfterSuspension() {
    if (sequencer_.IsStartUnderWay()) {
        // The start suspends what it started once it returns; the session waits for that.
        waitingForStart_ = true;
        reporter_.WriteLog("Suspension complete; waiting for the start under way to return.");
        return;
    }
    LetThrough();
}

void SessionEnd::AfterStartCaughtUp() {
    if (!waitingForStart_) return;
    waitingForStart_ = false;
    LetThrough();
}

void SessionEnd::LetThrough() {
    // Also after a start, outside the handlers: a log line must not cost the user the re-issue.
    const HeldLog::Hold hold(reporter_);
    // Every completed suspension leaves nothing to guard until something is launched again.
    gate_.Release();
    if (!reissuePending_) return;
    reissuePending_ = false;
    // A forced ending needs no re-issue: the session is ending already.
    if (!forced_) Reissue();
}

void SessionEnd::Reissue() {
    reporter_.WriteLog("Suspension complete; ready for shutdown.");
    const std::string kind = KindName(exitKind_ == ExitLogoff);
    if (reissues_ >= MaxReissues) {
        reporter_.WriteLog("Not re-initiating Windows " + kind + ": already re-initiated " +
                           std::to_string(reissues_) + " times in this run.");
        return;
    }
    ++reissues_;
    reporter_.WriteLog("Re-initiating Windows " + kind + ".");
    if (!platform_.SetPrivilege("SeShutdownPrivilege", true))
        reporter_.WriteLog("  (failed to acquire needed privilege, but going to try anyway...)");
    reporter_.WriteLog(platform_.ExitWindowsEx(exitKind_) ? "  (request accepted)" : "  (request denied)");
}

} // namespace tarnwick
