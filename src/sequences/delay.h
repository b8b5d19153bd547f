#pragma once
// Delay entries as the start, suspend and backup runs carry them out.
#include "common/services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The seconds of a delay, from the text after "DELAY:", when they are integer text of at least 1.
std::optional<int32_t> DelayLength(std::string_view secondsText);
// The one line logged in place of a delay whose seconds are not integer text or are below 1.
std::string InvalidDelayLine(std::string_view delayText);

// Sleeps through Processes::Sleep, in pieces short enough never to mean "wait forever".
void SleepMilliseconds(Processes& processes, uint64_t milliseconds);

} // namespace tarnwick
