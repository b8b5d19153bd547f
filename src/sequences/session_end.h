#pragma once
// Holding a Windows logoff or shutdown until the VMs are suspended, then ending the session ourselves.
//
// Windows follows a refused WM_QUERYENDSESSION with WM_ENDSESSION(ending = false), and that message
// starts the suspension. The same "aborted" message also comes when another program refused, or the
// user cancelled, so only an abort that follows our own refusal suspends and re-issues; any other
// leaves the session alone. That is what keeps a program that refuses every request from driving us
// round in circles: once the VMs are suspended we okay every request until something is launched
// again.
//
// A start that is under way when the suspension runs holds the session until it has returned and what it
// started is suspended too; only then is the session let through and the request re-issued.
//
// Windows wants its answer at once: the handlers decide from the state alone, and a log that cannot be
// written is remembered for a later report (HeldLog) rather than shown in a box here.
#include "common/held_log.h"
#include "common/services.h"
#include "sequences/end_session_gate.h"
#include "sequences/ports.h"
#include "sequences/sequencer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnwick {

inline constexpr uint32_t EndSessionLogoff = 0x80000000;   // ENDSESSION_LOGOFF
inline constexpr uint32_t EndSessionCritical = 0x40000000; // ENDSESSION_CRITICAL: it cannot be refused
// How long a forced ending's suspension may hold the handler; Windows ends the program by then anyway.
inline constexpr uint32_t ForcedSuspendSeconds = 20;
inline constexpr uint32_t ExitLogoff = 0;   // EWX_LOGOFF
inline constexpr uint32_t ExitShutdown = 1; // EWX_SHUTDOWN

class SessionEnd {
  public:
    // Registers itself with the sequencer to hear of completed suspensions.
    SessionEnd(HeldLog& log, EndSessionGate& gate, Sequencer& sequencer, SessionPlatform& platform);

    // WM_QUERYENDSESSION: true lets the session end. lParam is the message's, cut to 32 bits (it only
    // ever carries ENDSESSION_* flags). Refused while the VMs are held, and while any suspension runs.
    bool QueryEndSession(uint32_t lParam);
    // WM_ENDSESSION; the caller passes the message on to default handling afterwards.
    void EndSession(bool ending, uint32_t lParam);
    // A moment after a refusal (SessionPlatform::CallBackAfterRefusal). Windows Vista and later send no
    // abort until the user chooses Cancel on their shutdown screen: when none has come, the suspension
    // starts here, and the block reason shows how far it got.
    void RefusalStood();
    // From an okayed request on, until Windows says it was aborted after all: no box may appear then.
    bool MayBeEnding() const { return okayed_ || ending_; }
    // From a refusal until the session is let through or ends: no box may appear meanwhile either.
    // A suspension it started owes the re-issue until it completes; after that the boxes are the user's
    // again, whatever Windows does next.
    bool Handling() const {
        return lastQueryRefused_ || reissuePending_ || waitingForStart_ || MayBeEnding();
    }

    // EWX_LOGOFF or EWX_SHUTDOWN, from the latest WM_ENDSESSION: what a re-issue asks for.
    uint32_t ExitKind() const { return exitKind_; }

    // A safety net: re-issues in one run beyond this are not made.
    static constexpr int MaxReissues = 3;

  private:
    void HandleEndSession(bool ending, uint32_t lParam);
    // What follows our refusal, whether the abort or the moment after it came first.
    void ActOnRefusal(const std::string& kind);
    std::string RunningLine(const std::string& kind) const;
    void ShowProgress(size_t done, size_t total);
    // "Shut down anyway", Windows Update, shutdown /f: what still runs is suspended at once, here.
    void ForcedSuspension(const std::string& kind);
    void AfterSuspension();
    void AfterStartCaughtUp();
    void LetThrough();
    void Reissue();

    HeldLog& reporter_;
    EndSessionGate& gate_;
    Sequencer& sequencer_;
    SessionPlatform& platform_;
    bool lastQueryRefused_ = false;
    bool refusalActedOn_ = false;  // the suspension began before any abort: a later abort only records
    bool screenShowing_ = false;   // no abort yet: Windows may show our block reason meanwhile
    bool refusalCovered_ = false;  // the last refusal came while a re-issue was already owed
    bool reissuePending_ = false;  // re-issue when the running suspension completes
    bool waitingForStart_ = false; // a suspension completed while a start was under way
    bool okayed_ = false;
    bool ending_ = false;
    bool forced_ = false; // a forced ending has come: the session ends without a re-issue
    int reissues_ = 0;
    uint32_t exitKind_ = ExitLogoff;
    uint32_t refusedExitKind_ = ExitLogoff; // the kind of the latest refused request
};

} // namespace tarnwick
