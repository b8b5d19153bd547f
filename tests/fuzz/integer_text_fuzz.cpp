// IsInteger against a second, plainly written reading of the same syntax.
#include "config/integer_text.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool IsDec(char c) {
    return c >= '0' && c <= '9';
}
bool IsHex(char c) {
    return IsDec(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::optional<int32_t> Reference(std::string_view s) {
    size_t i = s.find_first_not_of(' ');
    if (i == std::string_view::npos) return std::nullopt;
    s.remove_prefix(i);
    size_t prefix = 0;
    if (s.starts_with("0x") || s.starts_with("0X"))
        prefix = 2;
    else if (s.starts_with("$") || s.starts_with("x") || s.starts_with("X"))
        prefix = 1;
    if (prefix) {
        std::string_view digits = s.substr(prefix);
        if (digits.empty()) return std::nullopt;
        for (char c : digits)
            if (!IsHex(c)) return std::nullopt;
        digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
        if (digits.size() > 8) return std::nullopt;
        const uint32_t v =
            digits.empty() ? 0 : static_cast<uint32_t>(std::stoul(std::string(digits), nullptr, 16));
        return static_cast<int32_t>(v);
    }
    bool negative = false;
    if (s.starts_with("+") || s.starts_with("-")) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    for (char c : s)
        if (!IsDec(c)) return std::nullopt;
    s.remove_prefix(std::min(s.find_first_not_of('0'), s.size()));
    if (s.size() > 10) return std::nullopt;
    const int64_t magnitude = s.empty() ? 0 : std::stoll(std::string(s));
    const int64_t v = negative ? -magnitude : magnitude;
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<int32_t> got = tarnwick::ParseInteger(text);
    if (got != Reference(text)) std::abort();
    if (tarnwick::IsInteger(text) != got.has_value()) std::abort();
    if (got && tarnwick::ParseInteger(std::to_string(*got)) != got) std::abort();
    return 0;
}
