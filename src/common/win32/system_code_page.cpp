#include "common/win32/system_code_page.h"

#include <windows.h>

#include <string>

namespace tarnwick::win32 {

namespace {

char16_t MapCase(char16_t unit, DWORD how) {
    const wchar_t in = static_cast<wchar_t>(unit);
    wchar_t out = 0;
    return LCMapStringW(LOCALE_INVARIANT, how, &in, 1, &out, 1) == 1 ? static_cast<char16_t>(out) : unit;
}

char16_t Upper(char16_t unit) {
    return MapCase(unit, LCMAP_UPPERCASE);
}

char16_t Lower(char16_t unit) {
    return MapCase(unit, LCMAP_LOWERCASE);
}

// What the system writes for units first to last (surrogates excepted), one call for the whole run:
// false when the bytes do not split into one character per unit.
bool ReadWritten(CodePageChars& chars, char32_t first, char32_t last) {
    std::wstring units;
    for (char32_t u = first; u <= last; ++u)
        units += static_cast<wchar_t>(u);
    const int count = static_cast<int>(units.size());
    const int size = WideCharToMultiByte(chars.number, 0, units.data(), count, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size <= 0 || WideCharToMultiByte(chars.number, 0, units.data(), count, bytes.data(), size, nullptr,
                                         nullptr) != size)
        return false;
    size_t at = 0;
    for (char32_t u = first; u <= last; ++u) {
        if (at >= bytes.size()) return false;
        const auto lead = static_cast<unsigned char>(bytes[at++]);
        uint16_t w = lead;
        if (chars.leadBytes[lead]) {
            if (at >= bytes.size()) return false;
            w = static_cast<uint16_t>(lead << 8 | static_cast<unsigned char>(bytes[at++]));
        }
        chars.written[u] = w;
    }
    return at == bytes.size();
}

} // namespace

CodePageChars ReadCodePageChars(unsigned codePage) {
    CodePageChars chars;
    chars.number = codePage;
    CPINFO info{};
    if (GetCPInfo(codePage, &info) && info.MaxCharSize > 1)
        for (size_t i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
            for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b)
                chars.leadBytes[b] = true;
    for (unsigned b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        wchar_t unit = 0;
        // Without MB_ERR_INVALID_CHARS, as text is read: an unassigned byte reads as the system reads it.
        chars.singles[b] = MultiByteToWideChar(codePage, 0, &byte, 1, &unit, 1) == 1
                               ? static_cast<char16_t>(unit)
                               : char16_t{0xFFFD};
        if (!chars.leadBytes[b]) continue;
        // Trail bytes of every multibyte ANSI code page lie from 0x40 up.
        for (unsigned t = 0x40; t < 0x100; ++t) {
            const char pair[2] = {byte, static_cast<char>(t)};
            if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, pair, 2, &unit, 1) == 1)
                chars.doubles.emplace_back(static_cast<uint16_t>(b << 8 | t), static_cast<char16_t>(unit));
        }
    }

    // Best-fit letters included, as the platform's profile reader writes what it decoded.
    chars.written.assign(0x10000, '?');
    bool whole = ReadWritten(chars, 0, 0xD7FF) && ReadWritten(chars, 0xE000, 0xFFFF);
    // A surrogate alone, as it stands in ill-formed text.
    for (char32_t u = 0xD800; u <= 0xDFFF && whole; ++u)
        whole = ReadWritten(chars, u, u);
    if (!whole) chars.written.clear();
    return chars;
}

AnsiCodePage ReadCodePage(unsigned codePage) {
    return AnsiCodePage(ReadCodePageChars(codePage), Upper, Lower);
}

void InstallSystemCodePage() {
    InstallAnsiCodePage(ReadCodePage(GetACP()));
}

} // namespace tarnwick::win32
