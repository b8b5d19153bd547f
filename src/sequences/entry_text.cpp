#include "sequences/entry_text.h"

#include <algorithm>
#include <limits>

namespace tarnwick::sequences {

namespace {

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool IsTooShort(std::string_view text) {
    return text.size() < 5;
}
bool HasSkipMarker(std::string_view text) {
    return text.starts_with(SkipMarker);
}
bool IsTeam(std::string_view text) {
    return text.size() >= 4 && SameIgnoringCase(text.substr(text.size() - 4), "VmTm");
}
bool IsDelay(std::string_view text) {
    return text.starts_with(DelayPrefix);
}
bool IsPrompt(std::string_view text) {
    return text.starts_with(PromptPrefix);
}

std::string DelayRest(std::string_view delayText) {
    return std::string(delayText.substr(std::min(delayText.size(), DelayPrefix.size())));
}

std::optional<int32_t> ParseIntegerText(std::string_view text) {
    size_t pos = text.find_first_not_of(' ');
    if (pos == std::string_view::npos) return std::nullopt;
    text.remove_prefix(pos);

    size_t hexStart = 0;
    if (text.starts_with("0x") || text.starts_with("0X"))
        hexStart = 2;
    else if (text[0] == '$' || text[0] == 'x' || text[0] == 'X')
        hexStart = 1;
    if (hexStart > 0) {
        const std::string_view digits = text.substr(hexStart);
        if (digits.empty()) return std::nullopt;
        uint64_t value = 0;
        for (const char c : digits) {
            const int digit = HexValue(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<uint64_t>(digit);
            if (value > 0xFFFFFFFFu) return std::nullopt;
        }
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }

    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit) return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

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

bool ContainsDoubleQuote(std::string_view text) {
    return text.find('"') != std::string_view::npos;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

std::string QuoteCmdArgument(std::string_view text) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : text) {
        if (c == '%') {
            quoted.append(backslashes, '\\');
            quoted += "\"%\"";
        } else {
            quoted += c;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    quoted += '"';
    return quoted;
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

} // namespace tarnwick::sequences
