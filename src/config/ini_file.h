#pragma once
// Tarnwick.ini: a reader that answers as the platform's profile-string reader does, and the writer.
#include "config/control_list.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The buffers through which the configuration is read.
inline constexpr size_t KeyListBufferSize = 16384;
inline constexpr size_t ValueBufferSize = 2048;

// Reading rules, as the platform applies them (checked against it under Wine):
// - A file may start with a UTF-8 or UTF-16 byte-order mark; it is then decoded and handed out in the
//   installed ANSI code page (common/text_case.h), with '?' for what that code page lacks. Any other
//   file is taken byte for byte.
// - Lines end at CR, LF or any run of them. Blanks are the characters 9 to 13, 26 and 32; they are
//   trimmed around lines, section names, keys and values.
// - A line that starts with "[" and holds a "]" is a section header; the name lies between the "[" and
//   the last "]". Names and keys compare without regard to ASCII letter case only (not by the program's
//   letter-case rule); the trail byte of a double-byte character is no letter.
// - The first "=" splits key from value. A line without "=" is a key without a value: it is not
//   listed, but a lookup finding it first gives nothing. Keys starting with ";" are not listed either.
// - A line "=value" directly after another one with an empty key is dropped.
// - A zero byte ends a key, value or section name where it stands, but not the line.
// - Only the first section of a name counts, for listing and lookup alike.
// - A value quoted with a pair of " or ' characters loses the pair.
class IniFile {
  public:
    IniFile() = default;
    // The whole file as read; an empty text and a missing file read the same.
    explicit IniFile(std::string bytes);

    // Every named section, in file order, repeats included.
    std::vector<std::string> SectionNames() const;

    // The keys of a section as a caller gets them through the key-list buffer: each followed by a zero
    // byte; keys past the buffer are lost, the last one may be cut, and an empty key ends the list.
    std::vector<std::string> KeyNames(std::string_view section, size_t bufferSize = KeyListBufferSize) const;
    // The whole key list, the buffer grown until it holds it, as a program does when the platform
    // reports a full buffer. The configuration is read this way, so that a list the program saved
    // always comes back whole, however long.
    std::vector<std::string> AllKeyNames(std::string_view section) const;
    // The buffer itself up to and including the zero byte at the reported length, for comparison with
    // the platform.
    std::string KeyListBuffer(std::string_view section, size_t bufferSize = KeyListBufferSize) const;

    // The value of the first line of the section with that key, as read through the value buffer;
    // nullopt when there is no such line or it has no "=".
    std::optional<std::string> Value(std::string_view section, std::string_view key,
                                     size_t bufferSize = ValueBufferSize) const;
    // The same for many keys in one pass over the section.
    std::vector<std::optional<std::string>> Values(std::string_view section,
                                                   const std::vector<std::string>& keys) const;

    // The program's own reading of a section's keys, for the control list: every line with a "=" and a
    // name not starting with ";", in file order, repeats included. Unlike the key-list buffer, a line with
    // an empty name ends nothing; it is handed back in skipped.
    struct KeyLines {
        std::vector<std::string> keys;
        std::vector<bool> inexact;        // per key: the code page lacked one of its characters
        std::vector<std::string> skipped; // lines with an empty name, trimmed, in 8-bit text
    };
    KeyLines ReadKeyLines(std::string_view section) const;

  private:
    enum class Encoding { Bytes, Wide };
    Encoding encoding_ = Encoding::Bytes;
    std::string bytes_;
    std::u16string wide_;
};

// A configuration flag: "0x"/"0X" at the start of a value longer than two characters reads as "$";
// then integer text other than 0 is true, and anything else, or no value at all, is false.
bool IniBoolean(const std::optional<std::string>& value);

// Tarnwick.ini as the program writes it, byte for byte; the ToolTimeout line only when given.
std::string FormatConfigFile(bool bkpAll, bool useSnapshot, const std::vector<ControlEntry>& entries,
                             const std::optional<std::string>& toolTimeout = std::nullopt);

} // namespace tarnwick
