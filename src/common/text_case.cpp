#include "common/text_case.h"

#include <algorithm>

namespace tarnwick {

namespace {

CodePageChars Latin1Chars() {
    CodePageChars chars;
    for (size_t b = 0; b < 256; ++b)
        chars.singles[b] = static_cast<char16_t>(b);
    return chars;
}

char16_t AsciiUpper(char16_t u) {
    return u >= 'a' && u <= 'z' ? static_cast<char16_t>(u - 32) : u;
}

char16_t AsciiLower(char16_t u) {
    return u >= 'A' && u <= 'Z' ? static_cast<char16_t>(u + 32) : u;
}

AnsiCodePage& Installed() {
    static AnsiCodePage page;
    return page;
}

} // namespace

AnsiCodePage::AnsiCodePage() : AnsiCodePage(Latin1Chars(), AsciiUpper, AsciiLower) {}

AnsiCodePage::AnsiCodePage(const CodePageChars& chars, CaseMap upper, CaseMap lower)
    : number_(chars.number), singles_(chars.singles), leadBytes_(chars.leadBytes), doubles_(chars.doubles),
      written_(chars.written) {
    std::sort(doubles_.begin(), doubles_.end());
    if (written_.size() != 0x10000) {
        written_.assign(0x10000, '?');
        // Backwards, so that the first sequence that reads as a unit is the one kept.
        for (auto it = doubles_.rbegin(); it != doubles_.rend(); ++it)
            written_[it->second] = it->first;
        for (size_t b = 256; b-- > 0;)
            if (!leadBytes_[b]) written_[singles_[b]] = static_cast<uint16_t>(b);
    }

    for (size_t b = 0; b < 256; ++b) {
        fold_[b] = static_cast<unsigned char>(b);
        // A byte that is not written back as itself is no character of its own.
        if (ExactByte(singles_[b]) != b) continue;
        const char16_t up = upper(singles_[b]);
        const std::optional<unsigned char> upByte = ExactByte(up);
        if (!upByte) continue;
        const char16_t low = lower(up);
        const std::optional<unsigned char> lowByte = ExactByte(low);
        fold_[b] = lowByte && upper(low) == up ? *lowByte : *upByte;
    }
}

std::optional<unsigned char> AnsiCodePage::ExactByte(char16_t unit) const {
    const uint16_t w = written_[unit];
    if (w >= 0x100 || !ReadsAs(w, unit)) return std::nullopt;
    return static_cast<unsigned char>(w);
}

std::optional<char16_t> AnsiCodePage::DoubleChar(uint16_t bytes) const {
    const auto it = std::lower_bound(doubles_.begin(), doubles_.end(), bytes,
                                     [](const auto& entry, uint16_t v) { return entry.first < v; });
    if (it == doubles_.end() || it->first != bytes) return std::nullopt;
    return it->second;
}

bool AnsiCodePage::ReadsAs(uint16_t written, char16_t unit) const {
    if (written < 0x100) return !leadBytes_[written] && singles_[written] == unit;
    return DoubleChar(written) == unit;
}

std::u16string AnsiCodePage::ToWide(std::string_view text) const {
    std::u16string wide;
    wide.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (leadBytes_[b] && i + 1 < text.size()) {
            const auto bytes = static_cast<uint16_t>(b << 8 | static_cast<unsigned char>(text[i + 1]));
            if (const std::optional<char16_t> unit = DoubleChar(bytes)) {
                wide += *unit;
                ++i;
                continue;
            }
        }
        wide += singles_[b];
    }
    return wide;
}

bool AnsiCodePage::AppendAnsi(std::u16string_view text, std::string& out) const {
    bool exact = true;
    for (const char16_t unit : text) {
        const uint16_t w = written_[unit];
        if (w >= 0x100) out += static_cast<char>(w >> 8);
        out += static_cast<char>(w & 0xFF);
        if (exact && !ReadsAs(w, unit)) exact = false;
    }
    return exact;
}

AnsiCodePage InstallAnsiCodePage(AnsiCodePage page) {
    std::swap(Installed(), page);
    return page;
}

const AnsiCodePage& InstalledAnsiCodePage() {
    return Installed();
}

std::string FoldCase(std::string_view text) {
    const AnsiCodePage& page = InstalledAnsiCodePage();
    std::string folded(text);
    for (size_t i = 0; i < folded.size(); ++i) {
        if (page.IsLeadByte(folded[i]))
            ++i; // the trail byte is no letter
        else
            folded[i] = page.Fold(folded[i]);
    }
    return folded;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const AnsiCodePage& page = InstalledAnsiCodePage();
    for (size_t i = 0; i < a.size(); ++i) {
        if (page.IsLeadByte(a[i])) {
            if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
            ++i;
        } else if (page.Fold(a[i]) != page.Fold(b[i])) {
            return false;
        }
    }
    return true;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (suffix.size() > text.size()) return false;
    const size_t start = text.size() - suffix.size();
    const AnsiCodePage& page = InstalledAnsiCodePage();
    size_t i = 0;
    while (i < start)
        i += page.IsLeadByte(text[i]) ? 2 : 1;
    return i == start && SameTextIgnoringCase(text.substr(start), suffix);
}

} // namespace tarnwick
