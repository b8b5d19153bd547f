#pragma once
// Command-line words and switches, split the way this program has always split them.
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Word 0 is the program path as the launcher wrote it. White space is any character up to and
// including the blank; quotes group and are dropped; a backslash is an ordinary character.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Number of the last argument (from 1) equal to "/" + name, ignoring ASCII letter case; 0 if none.
int ParamIndex(const std::vector<std::string>& args, std::string_view name);

} // namespace tarnwick
