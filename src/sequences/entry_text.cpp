#include "sequences/entry_text.h"

#include "config/control_list.h"
#include "config/integer_text.h"
#include "hypervisor/tool_commands.h"

#include <algorithm>
#include <limits>

namespace tarnwick::sequences {

bool IsTooShort(std::string_view text) { return IsIllegalText(text); }
bool HasSkipMarker(std::string_view text) { return IsSkipText(text); }
bool IsTeam(std::string_view text) { return IsTeamText(text); }
bool IsDelay(std::string_view text) { return IsDelayText(text); }
bool IsPrompt(std::string_view text) { return IsPromptText(text); }

std::string DelayRest(std::string_view delayText) {
    return std::string(delayText.substr(std::min(delayText.size(), DelayPrefix.size())));
}

std::optional<int32_t> ParseIntegerText(std::string_view text) { return ParseInteger(text); }

std::optional<int32_t> DelaySeconds(std::string_view rest) {
    const auto value = ParseIntegerText(rest);
    if (!value || *value < 1) return std::nullopt;
    return value;
}

std::string InvalidDelayLine(std::string_view delayText) {
    return "Skipping invalid delay: " + InQuotes(delayText) +
           " (the seconds must be a whole number of at least 1)";
}

std::string InQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool ContainsDoubleQuote(std::string_view text) { return tarnwick::ContainsDoubleQuote(text); }

bool SameIgnoringCase(std::string_view a, std::string_view b) { return SameTextIgnoringCase(a, b); }

std::string QuoteCmdArgument(std::string_view text) { return QuoteForCmd(std::string(text)); }

void SleepMilliseconds(Processes& processes, uint64_t milliseconds) {
    // 0xFFFFFFFF would be INFINITE to the Win32 waits behind Sleep.
    constexpr uint64_t longestPiece = 0x7FFFFFFF;
    do {
        const uint64_t piece = std::min(milliseconds, longestPiece);
        processes.Sleep(static_cast<unsigned>(piece));
        milliseconds -= piece;
    } while (milliseconds > 0);
}

} // namespace tarnwick::sequences
