#pragma once
// The version text from an executable's own version resource.
#include <string>

namespace tarnwick::win32 {

// FileVersion of the US English, code page 1252 string table: "0.0.0.0" when the file has no version
// resource, empty when the resource lacks that string.
std::string ReadVersionInfo(const std::string& path);

} // namespace tarnwick::win32
