#pragma once
// The system's ANSI code page for the portable code (common/text_case.h), read from the system once at
// start-up.
#include "common/text_case.h"

namespace tarnwick::win32 {

// What the system says about a code page: each byte read alone, the lead bytes and, for a multibyte code
// page, its double-byte characters.
CodePageChars ReadCodePageChars(unsigned codePage);
// With the system's locale-independent upper and lower case.
AnsiCodePage ReadCodePage(unsigned codePage);
// The code page GetACP names; first thing at start-up, before any text is compared.
void InstallSystemCodePage();

} // namespace tarnwick::win32
