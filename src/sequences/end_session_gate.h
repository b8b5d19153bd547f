#pragma once
// Whether a logoff or shutdown may go ahead, and the shutdown block reason, kept in step: while Tarnwick
// holds a logoff or shutdown, current Windows must be told why, or it ends a program without a visible window
// that refuses, and the user never sees the refusal.
#include "sequences/ports.h"

#include <string>

namespace tarnwick {

// What the user reads in Windows' list of programs that prevent the logoff or shutdown.
extern const char* const ShutdownBlockReasonText;

class EndSessionGate {
  public:
    explicit EndSessionGate(SessionPlatform& platform) : platform_(platform) {}

    // VMs may run from now on: refuse the next logoff or shutdown, and say why.
    void Hold();
    // The VMs are suspended: let the session end.
    void Release();
    // While the session is held: the reason Windows shows becomes this text.
    void ShowReason(const std::string& reason);
    // True until something is launched, and again once the VMs are suspended.
    bool Allowed() const { return allowed_; }

  private:
    SessionPlatform& platform_;
    bool allowed_ = true;
    bool reasonRegistered_ = false;
};

} // namespace tarnwick
