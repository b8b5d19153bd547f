#pragma once
// When a waited run has overrun its limit. The runner asks on each wake; the clock is the caller's.
#include "common/services.h"

#include <cstdint>

namespace tarnwick {

// How often a progress reading is taken while nothing else wakes the wait.
inline constexpr uint32_t ProgressLookMs = 1000;
// What NextLookMs answers for a run without a limit: wait for the child or a message only.
inline constexpr uint32_t NoLookDue = 0xFFFFFFFF;

class LimitWatch {
  public:
    // A limit of 0 seconds never passes.
    LimitWatch(const RunLimit& limit, uint64_t nowMs);

    // True once the limit has passed. A run bounded by progress starts its count again whenever the
    // reading differs from the one before; the reading is taken here, at most once per ProgressLookMs.
    bool Expired(uint64_t nowMs, uint64_t extraProgress = 0);
    // How long the wait may sleep before it should ask again.
    uint32_t NextLookMs(uint64_t nowMs) const;

  private:
    const RunLimit& limit_;
    uint64_t limitMs_;
    uint64_t countFrom_;
    uint64_t lastLook_;
    uint64_t lastReading_ = 0;
};

} // namespace tarnwick
