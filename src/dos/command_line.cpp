#include "dos/command_line.h"

namespace tarnwick {

namespace {

bool LooksAbsolute(const std::string& text) {
    return (!text.empty() && text[0] == '\\') || (text.size() > 1 && text[1] == ':');
}

} // namespace

CompletedCommand CompleteCommandLine(const std::string& commandLine, const std::string& workingDir,
                                     const std::string& exeDir) {
    if (workingDir.empty()) return {commandLine, std::string()};
    std::string dir = workingDir;
    if (dir.back() != '\\') dir += '\\';
    if (!LooksAbsolute(dir)) dir = exeDir + dir;
    // A command line that begins with a quote counts as relative, so it is prefixed as it stands.
    std::string line = LooksAbsolute(commandLine) ? commandLine : dir + commandLine;
    return {std::move(line), std::move(dir)};
}

} // namespace tarnwick
