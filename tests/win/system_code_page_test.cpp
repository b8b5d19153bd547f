// The code page the shell installs, against the system's own conversions and its comparison of names.
#include <windows.h>

#include "common/win32/system_code_page.h"
#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace tarnwick;

namespace {

// Each test installs what it needs; the page in force before comes back after it.
class SystemCodePage : public testing::Test {
  protected:
    void TearDown() override { InstallAnsiCodePage(std::move(before_)); }

  private:
    AnsiCodePage before_ = InstalledAnsiCodePage();
};

// The byte's character when it is written back as that byte; else nothing.
std::optional<wchar_t> CharacterOf(unsigned codePage, unsigned char byte) {
    const char in = static_cast<char>(byte);
    wchar_t unit = 0;
    char back[4];
    BOOL lacking = FALSE;
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, &unit, 1) != 1) return std::nullopt;
    const int n =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &unit, 1, back, sizeof back, nullptr, &lacking);
    if (n != 1 || lacking || back[0] != in) return std::nullopt;
    return unit;
}

} // namespace

// Run twice by the test command: in Wine's default Western code page, and with the Unix locale that makes
// Wine's ANSI code page 1251 (TARNWICK_EXPECTED_ACP names it).
TEST_F(SystemCodePage, StartUpInstallsTheSystemsAnsiCodePage) {
    const char* expected = std::getenv("TARNWICK_EXPECTED_ACP");
    const unsigned acp = expected ? static_cast<unsigned>(std::atoi(expected)) : 1252u;
    ASSERT_EQ(GetACP(), acp) << "Wine takes the ANSI code page from the Unix locale (LC_CTYPE)";
    ASSERT_TRUE(acp == 1251 || acp == 1252);
    const bool cyrillic = acp == 1251;

    win32::InstallSystemCodePage();
    EXPECT_EQ(InstalledAnsiCodePage().Number(), acp);
    EXPECT_TRUE(SameTextIgnoringCase("C:\\VMs\\\xC9t\xE9", "c:\\vms\\\xE9T\xC9")); // Été; Йтй
    EXPECT_EQ(SameTextIgnoringCase("\xB2", "\xB3"), cyrillic);                     // ² ³; І і
    EXPECT_EQ(SameTextIgnoringCase("\xA8", "\xB8"), cyrillic);                     // ¨ ¸; Ё ё
    EXPECT_EQ(SameTextIgnoringCase("\x9F", "\xFF"), !cyrillic);                    // Ÿ ÿ; џ я
    EXPECT_EQ(InstalledAnsiCodePage().ToWide("\xC4"), cyrillic ? u"\u0414" : u"\u00C4");

    // A marked file is handed out in the same code page, a letter it lacks as the similar one the
    // system writes, and found by the name that reads as the same character only.
    const IniFile ini("\xEF\xBB\xBF[Control]\r\n\xD0\x94=1\r\n\xC3\x84=2\r\n");
    EXPECT_EQ(ini.ReadKeyLines("Control").keys,
              (std::vector<std::string>{cyrillic ? "\xC4" : "?", cyrillic ? "A" : "\xC4"}));
    EXPECT_EQ(ini.Value("Control", "\xC4"), cyrillic ? "1" : "2");
    EXPECT_EQ(ini.Value("Control", "A"), std::nullopt);
}

TEST_F(SystemCodePage, LettersFoldTogetherExactlyWhereTheSystemComparesNamesEqual) {
    // CompareStringOrdinal ignoring case upper-cases as the file system does.
    for (const unsigned codePage : {1250u, 1251u, 1252u, 1253u, 1254u, 1257u}) {
        InstallAnsiCodePage(win32::ReadCodePage(codePage));
        EXPECT_EQ(InstalledAnsiCodePage().Number(), codePage);
        int pairs = 0;
        for (unsigned a = 0; a < 256; ++a) {
            const auto ca = CharacterOf(codePage, static_cast<unsigned char>(a));
            for (unsigned b = a + 1; b < 256 && ca; ++b) {
                const auto cb = CharacterOf(codePage, static_cast<unsigned char>(b));
                if (!cb) continue;
                const bool equal = CompareStringOrdinal(&*ca, 1, &*cb, 1, TRUE) == CSTR_EQUAL;
                pairs += equal;
                EXPECT_EQ(SameTextIgnoringCase(std::string(1, static_cast<char>(a)),
                                               std::string(1, static_cast<char>(b))),
                          equal)
                    << "code page " << codePage << ": bytes " << a << " and " << b;
            }
        }
        EXPECT_GE(pairs, 26) << codePage; // at least the ASCII letters
    }
}

TEST_F(SystemCodePage, AMultibyteCodePageReadsDoubleBytesAndKeepsTrailBytes) {
    const auto start = std::chrono::steady_clock::now();
    InstallAnsiCodePage(win32::ReadCodePage(932));
    std::printf("[          ] code page 932 read in %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()));
    const AnsiCodePage& page = InstalledAnsiCodePage();
    EXPECT_TRUE(page.IsLeadByte('\x81'));
    EXPECT_TRUE(page.IsLeadByte('\xFC'));
    EXPECT_FALSE(page.IsLeadByte('\xB1')); // half-width katakana
    EXPECT_FALSE(page.IsLeadByte('A'));
    EXPECT_EQ(page.ToWide("\x82\xA0"
                          "a\xB1"),
              u"\u3042a\uFF71");

    // Every unit is written as the system writes it, best-fit letters included, and only those that
    // read back as themselves count as exact.
    int exact = 0;
    for (wchar_t unit = 0x80; unit < 0xFFFF; ++unit) {
        char bytes[4], strict[4];
        BOOL lacking = FALSE;
        const int n = WideCharToMultiByte(932, 0, &unit, 1, bytes, sizeof bytes, nullptr, nullptr);
        const int m = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &unit, 1, strict, sizeof strict, nullptr,
                                          &lacking);
        std::string mine;
        const bool whole =
            page.AppendAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(&unit), 1), mine);
        EXPECT_EQ(mine, std::string(bytes, n > 0 ? n : 0)) << "U+" << std::hex << static_cast<unsigned>(unit);
        EXPECT_EQ(whole, m > 0 && !lacking) << "U+" << std::hex << static_cast<unsigned>(unit);
        exact += whole;
        if (HasFailure()) break;
    }
    EXPECT_GT(exact, 7000);

    // Trail bytes are no letters.
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!page.IsLeadByte(static_cast<char>(lead))) continue;
        for (char trail = 'A'; trail <= 'Z'; ++trail) {
            const std::string text{static_cast<char>(lead), trail};
            EXPECT_EQ(FoldCase(text), text);
        }
    }
    EXPECT_TRUE(SameTextIgnoringCase("A\x83\x41", "a\x83\x41"));
    EXPECT_FALSE(SameTextIgnoringCase("\x83\x41", "\x83\x61"));
}
