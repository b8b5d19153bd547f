#include "sequences/end_session_gate.h"

namespace tarnwick {

const char* const ShutdownBlockReasonText =
    "Tarnwick must suspend your virtual machines first. Choose Cancel, and Tarnwick will suspend them "
    "and then end the session itself.";

void EndSessionGate::Hold() {
    allowed_ = false;
    if (!reasonRegistered_) reasonRegistered_ = platform_.CreateShutdownBlockReason(ShutdownBlockReasonText);
}

void EndSessionGate::Release() {
    allowed_ = true;
    if (reasonRegistered_) {
        platform_.DestroyShutdownBlockReason();
        reasonRegistered_ = false;
    }
}

} // namespace tarnwick
