#pragma once
// Recording fakes of the platform services, for the hypervisor and main window tests.
#include "common/services.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tarnwick::hypervisor_test {

class RecordingReporter : public Reporter {
  public:
    void WriteLog(const std::string& msg) override { log.push_back(msg); }
    void ShowStatus(const std::string& msg) override {
        statuses.push_back(msg);
        log.push_back(msg);
    }
    std::vector<std::string> log;
    std::vector<std::string> statuses;
};

class RecordingDialogs : public Dialogs {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool Confirm(const std::string&) override { return true; }
    void InvalidEntry(const std::string& text) override { invalidEntries.push_back(text); }
    void Beep() override { ++beeps; }
    std::vector<std::string> messages;
    std::vector<std::string> invalidEntries;
    int beeps = 0;
};

class MemoryFiles : public FileSystem {
  public:
    bool FileExists(const std::string& path) override { return files.contains(path); }
    bool DirectoryExists(const std::string&) override { return false; }
    std::optional<std::string> ReadWholeFile(const std::string& path) override {
        if (unreadable.contains(path)) throw IoError("cannot read " + path);
        const auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second;
    }
    bool DeleteFile(const std::string& path) override {
        deleted.push_back(path);
        return files.erase(path) > 0;
    }
    std::map<std::string, std::string> files;
    std::set<std::string> unreadable;
    std::vector<std::string> deleted;
};

// Each run is answered by `tool`, which may write the capture file as the real redirection would.
class ScriptedProcesses : public Processes {
  public:
    struct Answer {
        bool started = true;
        uint32_t exitCode = 0;
    };
    bool RunCommandLine(const std::string& commandLine, const std::string& workingDir, bool wait,
                        uint32_t& exitCode) override {
        lines.push_back(commandLine);
        workingDirs.push_back(workingDir);
        waits.push_back(wait);
        exitCode = 0;
        const Answer answer = tool ? tool(commandLine) : Answer{};
        if (answer.started && wait) exitCode = answer.exitCode;
        return answer.started;
    }
    void Sleep(unsigned milliseconds) override { sleeps.push_back(milliseconds); }

    std::function<Answer(const std::string& commandLine)> tool;
    std::vector<std::string> lines;
    std::vector<std::string> workingDirs;
    std::vector<bool> waits;
    std::vector<unsigned> sleeps;
};

} // namespace tarnwick::hypervisor_test
