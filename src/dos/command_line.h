#pragma once
// How the command runner completes a working directory and a command line before starting a child.
#include <string>

namespace tarnwick {

struct CompletedCommand {
    std::string commandLine;
    std::string currentDirectory; // empty: the child starts in our own current directory
};

// An empty workingDir leaves the command line alone. Otherwise the directory gets a trailing '\', a
// relative one is put under exeDir, and a relative command line is put under the directory, with no
// blank or quote between them. "Absolute" looks at single characters only: a leading '\' or a ':' in
// second place.
CompletedCommand CompleteCommandLine(const std::string& commandLine, const std::string& workingDir,
                                     const std::string& exeDir);

} // namespace tarnwick
