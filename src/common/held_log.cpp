#include "common/held_log.h"

#include <utility>

namespace tarnwick {

template <class Write> void HeldLog::Guarded(Write write) {
    if (!Holding()) {
        write();
        return;
    }
    try {
        write();
    } catch (const IoError& e) {
        Remember(e.what());
    }
}

void HeldLog::WriteLog(const std::string& msg) {
    Guarded([&] { log_.WriteLog(msg); });
}

void HeldLog::ShowStatus(const std::string& msg) {
    Guarded([&] { log_.ShowStatus(msg); });
}

void HeldLog::Remember(const std::string& error) {
    if (!failure_) failure_ = error;
}

std::optional<std::string> HeldLog::TakeFailure() {
    if (Holding()) return std::nullopt;
    return std::exchange(failure_, std::nullopt);
}

} // namespace tarnwick
