#pragma once
// The one syntax of whole numbers: delay seconds, the tool time limit and the configuration file's flags.
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnwick {

// Leading blanks (spaces only), then either an optional sign and decimal digits, or "$", "x", "X", "0x"
// or "0X" and hexadecimal digits; nothing after. The value must fit 32 signed bits; a hexadecimal number
// is a 32-bit pattern, so "$FFFFFFFF" is -1. Leading zeros do not count against either limit.
std::optional<int32_t> ParseInteger(std::string_view text);

inline bool IsInteger(std::string_view text) {
    return ParseInteger(text).has_value();
}

// A whole number above 0, as delay and wait seconds and the tool time limit must be; nullopt for any
// other text.
inline std::optional<int32_t> ParsePositiveInteger(std::string_view text) {
    const std::optional<int32_t> value = ParseInteger(text);
    if (!value || *value < 1) return std::nullopt;
    return value;
}

} // namespace tarnwick
