#pragma once
// How the sequences read entry texts, and the small text helpers they share. The kinds, integer text and
// cmd quoting are the control list's and the tool commands' own; these names only read well here.
#include "common/services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::sequences {

inline constexpr std::string_view SkipMarker = "SKIP:";
inline constexpr std::string_view DelayPrefix = "DELAY:";
inline constexpr std::string_view PromptPrefix = "PROMPT:";

bool IsTooShort(std::string_view text); // fewer than 5 characters
bool HasSkipMarker(std::string_view text);
bool IsTeam(std::string_view text); // ends in "VmTm", any letter case
bool IsDelay(std::string_view text);
bool IsPrompt(std::string_view text);
// What follows "DELAY:", exactly as written.
std::string DelayRest(std::string_view delayText);

// Integer text: leading blanks, then an optional sign and decimal digits, or "$", "x", "X", "0x", "0X"
// and hexadecimal digits taken as a 32-bit pattern; nothing after; the value fits 32 signed bits.
std::optional<int32_t> ParseIntegerText(std::string_view text);
// The seconds of a delay when they are integer text of at least 1.
std::optional<int32_t> DelaySeconds(std::string_view rest);
// The one line logged in place of a delay that is not integer text or is below 1.
std::string InvalidDelayLine(std::string_view delayText);

std::string InQuotes(std::string_view text);
bool ContainsDoubleQuote(std::string_view text);
// By the one letter-case rule (SameTextIgnoringCase).
bool SameIgnoringCase(std::string_view a, std::string_view b);

// Text in double quotes for a `cmd /c` line. Each '%' stands outside the quotes, between a closing and
// a reopening one: cmd expands %NAME% inside quotes too, but then every span between two '%' holds a
// quote, no variable is named so, and cmd leaves an unknown name as it stands on a command line.
// Backslashes before such a closing quote are doubled so that a program's argument parser keeps them
// as backslashes and joins the pieces again. Without '%' this is the text between two quotes.
std::string QuoteCmdArgument(std::string_view text);

// Sleeps through Processes::Sleep, in pieces short enough never to mean "wait forever".
void SleepMilliseconds(Processes& processes, uint64_t milliseconds);

} // namespace tarnwick::sequences
