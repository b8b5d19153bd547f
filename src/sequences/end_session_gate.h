#pragma once
// EndSessionAllowed and the shutdown block reason, kept in step: while Tarnwick holds a logoff or
// shutdown, current Windows must be told why, or it ends a program without a visible window that
// refuses, and the user never sees the refusal.
#include "common/main_state.h"
#include "sequences/ports.h"

namespace tarnwick {

// What the user reads in Windows' list of programs that prevent the logoff or shutdown.
extern const char* const ShutdownBlockReasonText;

class EndSessionGate {
  public:
    EndSessionGate(MainState& state, SessionPlatform& platform) : state_(state), platform_(platform) {}

    // VMs may run from now on: refuse the next logoff or shutdown, and say why.
    void Hold();
    // The VMs are suspended: let the session end.
    void Release();
    bool Allowed() const { return state_.EndSessionAllowed; }

  private:
    MainState& state_;
    SessionPlatform& platform_;
    bool reasonRegistered_ = false;
};

} // namespace tarnwick
