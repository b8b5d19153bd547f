#include "sequences/end_session_gate.h"

namespace tarnwick {

// Short, as Windows shows it for a few seconds; no call to choose Cancel, as the suspension starts at
// the refusal.
const char* const ShutdownBlockReasonText = "Tarnwick must suspend your virtual machines first.";

void EndSessionGate::Hold() {
    allowed_ = false;
    if (!reasonRegistered_) reasonRegistered_ = platform_.CreateShutdownBlockReason(ShutdownBlockReasonText);
}

void EndSessionGate::ShowReason(const std::string& reason) {
    // Registering again replaces the window's text.
    if (!allowed_ && reasonRegistered_) platform_.CreateShutdownBlockReason(reason);
}

void EndSessionGate::Release() {
    allowed_ = true;
    if (reasonRegistered_) {
        platform_.DestroyShutdownBlockReason();
        reasonRegistered_ = false;
    }
}

} // namespace tarnwick
