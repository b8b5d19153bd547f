#include "dos/run_limit.h"

#include <algorithm>

namespace tarnwick {

LimitWatch::LimitWatch(const RunLimit& limit, uint64_t nowMs)
    : limit_(limit), limitMs_(uint64_t{limit.seconds} * 1000), countFrom_(nowMs), lastLook_(nowMs) {
    if (limit_.progress) lastReading_ = limit_.progress();
}

bool LimitWatch::Expired(uint64_t nowMs, uint64_t extraProgress) {
    if (limitMs_ == 0) return false;
    if (limit_.progress && nowMs - lastLook_ >= std::min<uint64_t>(ProgressLookMs, limitMs_)) {
        lastLook_ = nowMs;
        const uint64_t reading = limit_.progress() + extraProgress;
        if (reading != lastReading_) {
            lastReading_ = reading;
            countFrom_ = nowMs;
        }
    }
    return nowMs - countFrom_ >= limitMs_;
}

uint32_t LimitWatch::NextLookMs(uint64_t nowMs) const {
    if (limitMs_ == 0) return NoLookDue;
    const uint64_t end = countFrom_ + limitMs_;
    uint64_t due = end > nowMs ? end - nowMs : 0;
    if (limit_.progress) {
        const uint64_t look = lastLook_ + std::min<uint64_t>(ProgressLookMs, limitMs_);
        due = std::min(due, look > nowMs ? look - nowMs : 0);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(due, NoLookDue - 1));
}

} // namespace tarnwick
