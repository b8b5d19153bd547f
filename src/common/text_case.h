#pragma once
// 8-bit text in the system's ANSI code page: how its bytes read as UTF-16, and the one letter-case rule
// for every comparison of paths and names. The portable code cannot ask the system, so the Win32 shell
// installs the system's code page once at start-up (common/win32/system_code_page.h). Until then the stand-in
// folds ASCII letters only and reads bytes from 0x80 as U+0080 to U+00FF.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick {

// What the system says about a code page's characters.
struct CodePageChars {
    unsigned number = 0;
    // Each byte read alone. For a lead byte of a multibyte code page this is what a lone lead byte
    // reads as; it is never written back.
    std::array<char16_t, 256> singles{};
    std::array<bool, 256> leadBytes{};
    // The double-byte characters of a multibyte code page: lead byte * 256 + trail byte -> UTF-16.
    std::vector<std::pair<uint16_t, char16_t>> doubles;
    // What the system writes for each of the 65536 UTF-16 units, a similar letter where the code page
    // lacks the unit itself: below 0x100 one byte, else lead byte * 256 + trail byte. When empty, a
    // unit is written as the first byte, else the first double-byte character, that reads as it, and
    // any other as '?'.
    std::vector<uint16_t> written;
};

// One UTF-16 unit mapped to its upper or lower case by the system's simple, locale-independent rules.
using CaseMap = char16_t (*)(char16_t);

class AnsiCodePage {
  public:
    // The stand-in.
    AnsiCodePage();
    // Windows file systems compare names by their upper case, so letters fold together where their
    // upper cases are the same character; the folded form is the lower-case letter where that maps
    // back to the same upper case. Double-byte characters are not folded.
    AnsiCodePage(const CodePageChars& chars, CaseMap upper, CaseMap lower);

    unsigned Number() const { return number_; }
    bool IsLeadByte(char c) const { return leadBytes_[static_cast<unsigned char>(c)]; }
    // The letter case of a single-byte character folded; any other byte as it is.
    char Fold(char c) const { return static_cast<char>(fold_[static_cast<unsigned char>(c)]); }

    // A lead byte without a double-byte character after it reads alone.
    std::u16string ToWide(std::string_view text) const;
    // Appends text as the system writes it in this code page; false when some unit was not written as
    // itself but as a similar letter or '?'.
    bool AppendAnsi(std::u16string_view text, std::string& out) const;

  private:
    // The single byte written for unit when it reads back as unit.
    std::optional<unsigned char> ExactByte(char16_t unit) const;
    bool ReadsAs(uint16_t written, char16_t unit) const;
    // The character of a lead and trail byte (lead * 256 + trail), if the code page has one there.
    std::optional<char16_t> DoubleChar(uint16_t bytes) const;

    unsigned number_ = 0;
    std::array<char16_t, 256> singles_{};
    std::array<bool, 256> leadBytes_{};
    std::array<unsigned char, 256> fold_{};
    std::vector<std::pair<uint16_t, char16_t>> doubles_; // sorted by bytes
    std::vector<uint16_t> written_;                      // by unit
};

// Installed before anything reads it. Returns the page in force before, so that a test can put it back.
AnsiCodePage InstallAnsiCodePage(AnsiCodePage page);
const AnsiCodePage& InstalledAnsiCodePage();

// By the installed code page. A lead byte and its trail byte stay together and unfolded.
std::string FoldCase(std::string_view text);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
// True when text ends in suffix without regard to letter case and suffix starts a character there.
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix);

} // namespace tarnwick
