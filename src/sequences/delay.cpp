#include "sequences/delay.h"

#include "config/integer_text.h"

#include <algorithm>

namespace tarnwick {

std::optional<int32_t> DelayLength(std::string_view secondsText) {
    const auto value = ParseInteger(secondsText);
    if (!value || *value < 1) return std::nullopt;
    return value;
}

std::string InvalidDelayLine(std::string_view delayText) {
    return "Skipping invalid delay: \"" + std::string(delayText) +
           "\" (the seconds must be a whole number of at least 1)";
}

void SleepMilliseconds(Processes& processes, uint64_t milliseconds) {
    // 0xFFFFFFFF would be INFINITE to the Win32 waits behind Sleep.
    constexpr uint64_t longestPiece = 0x7FFFFFFF;
    do {
        const uint64_t piece = std::min(milliseconds, longestPiece);
        processes.Sleep(static_cast<unsigned>(piece));
        milliseconds -= piece;
    } while (milliseconds > 0);
}

} // namespace tarnwick
