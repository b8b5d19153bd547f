#pragma once
// Code pages as the Win32 shell would install them, made from the published byte tables and Unicode's
// simple case mappings for the letters they hold, so that the unit tier runs under a code page of its
// choosing.
#include "common/text_case.h"

#include <array>

namespace tarnwick::unit_test {

inline CodePageChars Cp1252() {
    static constexpr std::array<char16_t, 32> high = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    CodePageChars chars;
    chars.number = 1252;
    for (size_t b = 0; b < 256; ++b)
        chars.singles[b] = b >= 0x80 && b < 0xA0 ? high[b - 0x80] : static_cast<char16_t>(b);
    return chars;
}

// Turkish: 1252 with Ğ, İ, Ş and their small letters, ı in place of Ý; no Ž.
inline CodePageChars Cp1254() {
    CodePageChars chars = Cp1252();
    chars.number = 1254;
    for (auto [b, u] : {std::pair{0x8E, 0x008E},
                        {0x9E, 0x009E},
                        {0xD0, 0x011E},
                        {0xDD, 0x0130},
                        {0xDE, 0x015E},
                        {0xF0, 0x011F},
                        {0xFD, 0x0131},
                        {0xFE, 0x015F}})
        chars.singles[b] = static_cast<char16_t>(u);
    return chars;
}

// Cyrillic.
inline CodePageChars Cp1251() {
    static constexpr std::array<char16_t, 64> high = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
        0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
        0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
        0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
        0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
    CodePageChars chars;
    chars.number = 1251;
    for (size_t b = 0; b < 256; ++b)
        chars.singles[b] = b < 0x80   ? static_cast<char16_t>(b)
                           : b < 0xC0 ? high[b - 0x80]
                                      : static_cast<char16_t>(0x0410 + (b - 0xC0));
    return chars;
}

// Japanese Shift-JIS, as far as the tests use it: ASCII, half-width katakana, the lead bytes and a few
// double-byte characters. Unassigned bytes read as private-use characters of their own.
inline CodePageChars Cp932() {
    CodePageChars chars;
    chars.number = 932;
    for (size_t b = 0; b < 256; ++b) {
        chars.leadBytes[b] = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        chars.singles[b] = b < 0x80                 ? static_cast<char16_t>(b)
                           : b >= 0xA1 && b <= 0xDF ? static_cast<char16_t>(0xFF61 + (b - 0xA1))
                           : chars.leadBytes[b]     ? char16_t{0x30FB}
                                                    : static_cast<char16_t>(0xF700 + b);
    }
    chars.doubles = {{0x82A0, 0x3042},  // hiragana a
                     {0x8341, 0x30A2},  // katakana a: its trail byte is 'A'
                     {0x8361, 0x30C2},  // katakana di: its trail byte is 'a'
                     {0x8356, 0x30B7},  // katakana si: its trail byte is 'V'
                     {0x8260, 0xFF21},  // full-width A
                     {0x8281, 0xFF41}}; // full-width a
    return chars;
}

inline char16_t UnicodeUpper(char16_t u) {
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7) || (u >= 0x430 && u <= 0x44F) ||
        (u >= 0xFF41 && u <= 0xFF5A))
        return static_cast<char16_t>(u - 0x20);
    if (u >= 0x450 && u <= 0x45F) return static_cast<char16_t>(u - 0x50);
    switch (u) {
    case 0x00B5:
        return 0x039C;
    case 0x00FF:
        return 0x0178;
    case 0x0131:
        return 'I';
    case 0x0192:
        return 0x0191;
    case 0x011F:
    case 0x0153:
    case 0x015F:
    case 0x0161:
    case 0x017E:
    case 0x0491:
        return static_cast<char16_t>(u - 1);
    }
    return u;
}

inline char16_t UnicodeLower(char16_t u) {
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7) || (u >= 0x410 && u <= 0x42F) ||
        (u >= 0xFF21 && u <= 0xFF3A))
        return static_cast<char16_t>(u + 0x20);
    if (u >= 0x400 && u <= 0x40F) return static_cast<char16_t>(u + 0x50);
    switch (u) {
    case 0x0130:
        return 'i';
    case 0x0178:
        return 0x00FF;
    case 0x0191:
        return 0x0192;
    case 0x039C:
        return 0x03BC;
    case 0x011E:
    case 0x0152:
    case 0x015E:
    case 0x0160:
    case 0x017D:
    case 0x0490:
        return static_cast<char16_t>(u + 1);
    }
    return u;
}

// Installs a code page for the life of a test and puts the one before back.
class ScopedCodePage {
  public:
    explicit ScopedCodePage(const CodePageChars& chars)
        : before_(InstallAnsiCodePage(AnsiCodePage(chars, UnicodeUpper, UnicodeLower))) {}
    ~ScopedCodePage() { InstallAnsiCodePage(std::move(before_)); }
    ScopedCodePage(const ScopedCodePage&) = delete;
    ScopedCodePage& operator=(const ScopedCodePage&) = delete;

  private:
    AnsiCodePage before_;
};

} // namespace tarnwick::unit_test
