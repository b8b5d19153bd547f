#include "sequences/session_end.h"

#include "common/scope_exit.h"

namespace tarnwick {

namespace {

std::string KindName(bool logoff) {
    return logoff ? "Logoff" : "Shutdown";
}

} // namespace

SessionEnd::SessionEnd(Reporter& reporter, EndSessionGate& gate, Sequencer& sequencer,
                       SessionPlatform& platform)
    : reporter_(reporter), gate_(gate), sequencer_(sequencer), platform_(platform) {
    sequencer_.SetSuspensionCompleteHandler([this] { AfterSuspension(); });
}

bool SessionEnd::QueryEndSession(uint32_t lParam) {
    const std::string kind = KindName(lParam == EndSessionLogoff);
    // A suspension that runs, whoever asked for it, must finish before the session may end.
    if (gate_.Allowed() && !sequencer_.IsSuspending()) {
        lastQueryRefused_ = false;
        reporter_.WriteLog("Okaying Windows " + kind + " request.");
        return true;
    }
    lastQueryRefused_ = true;
    refusalCovered_ = reissuePending_;
    reporter_.WriteLog("Denying Windows " + kind + " request so we can suspend VMs.");
    return false;
}

void SessionEnd::EndSession(bool ending, uint32_t lParam) {
    const bool logoff = lParam == EndSessionLogoff;
    exitKind_ = logoff ? ExitLogoff : ExitShutdown;
    const std::string kind = KindName(logoff);
    if (ending) {
        reporter_.WriteLog("Windows " + kind + " occuring; Session Terminating...");
        return;
    }
    reporter_.WriteLog("Windows " + kind + " aborted.");
    if (!lastQueryRefused_) {
        reporter_.WriteLog("  (not refused by Tarnwick: nothing suspended, nothing re-initiated)");
        return;
    }
    lastQueryRefused_ = false;
    const std::string willReissue =
        "  (a suspension is running; Windows " + kind + " will be re-initiated when it is complete)";
    if (reissuePending_) {
        reporter_.WriteLog(willReissue);
        return;
    }
    if (refusalCovered_) {
        reporter_.WriteLog("  (Windows " + kind + " was already re-initiated)");
        return;
    }
    if (sequencer_.IsSuspending()) {
        reissuePending_ = true;
        reporter_.WriteLog(willReissue);
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

void SessionEnd::AfterSuspension() {
    // Every completed suspension leaves nothing to guard until something is launched again.
    gate_.Release();
    if (!reissuePending_) return;
    reissuePending_ = false;
    Reissue();
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
