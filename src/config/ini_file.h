#pragma once
// Tarnwick.ini: a reader that answers as the platform's profile-string reader does, and the writer.
#include "config/control_list.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The buffer through which a value is read.
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
// - The first "=" splits key from value. A line without "=" is a key without a value: a lookup finding
//   it first gives nothing.
// - A zero byte ends a key, value or section name where it stands, but not the line.
// - Only the first section of a name counts.
// - A value quoted with a pair of " or ' characters loses the pair.
class IniFile {
  public:
    IniFile() = default;
    // The whole file as read; an empty text and a missing file read the same.
    explicit IniFile(std::string bytes);

    // The value of the first line of the section with that key, as read through the value buffer;
    // nullopt when there is no such line or it has no "=".
    std::optional<std::string> Value(std::string_view section, std::string_view key,
                                     size_t bufferSize = ValueBufferSize) const;
    // The same for many keys in one pass over the section.
    std::vector<std::optional<std::string>> Values(std::string_view section,
                                                   const std::vector<std::string>& keys) const;

    // The program's own reading of a section's keys, for the control list: every line with a "=" and a
    // name not starting with ";", in file order, repeats included. Where the platform's key list ends at
    // a line with an empty name, this goes on and hands that line back in skipped.
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

// A VM entry's stop action as [StopAction] holds it: "shutdown" or "leave". Suspend has no word: it is
// what an entry without a line does, so a file whose VMs all suspend has no such section.
const char* StopActionWord(StopAction action); // nullptr for Suspend
// Either word in any ASCII letter case; nullopt for anything else.
std::optional<StopAction> StopActionFromWord(std::string_view word);

// Tarnwick.ini as the program writes it, byte for byte; the ResumeOthers, ToolTimeout,
// ParallelSuspend and BackupKeep lines only when given, and [StopAction] after [Control] only when an entry
// does not suspend.
std::string FormatConfigFile(bool bkpAll, bool useSnapshot, const std::vector<ControlEntry>& entries,
                             const std::optional<std::string>& toolTimeout = std::nullopt,
                             std::optional<bool> resumeOthers = std::nullopt,
                             const std::optional<std::string>& parallelSuspend = std::nullopt,
                             const std::optional<std::string>& backupKeep = std::nullopt);

} // namespace tarnwick
