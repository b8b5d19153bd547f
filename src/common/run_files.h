#pragma once
// The files of this run of the program, all beside its executable. Made once, before anything that
// reads or writes them is built, and never changed.
#include "common/paths.h"

#include <string>

namespace tarnwick {

struct RunFiles {
    std::string exePath; // full path of our own executable
    std::string appDir;  // exePath's directory, with its trailing backslash
    std::string configFilePath;
    std::string logFilePath;
    std::string resumeFilePath; // the VMs a suspension left for the next /START (sequences/resume_record.h)
    std::string capturePath;    // tool output of this process's runs; claimed so no other copy uses it

    // The files of the program at exePath, whose tool output goes to capturePath.
    static RunFiles Beside(const std::string& exePath, std::string capturePath) {
        const std::string dir(DirectoryPart(exePath));
        return RunFiles{exePath,
                        dir,
                        dir + "Tarnwick.ini",
                        dir + "Tarnwick.log",
                        dir + "Tarnwick.resume",
                        std::move(capturePath)};
    }
};

} // namespace tarnwick
