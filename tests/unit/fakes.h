#pragma once
// The fakes of the platform services, shared by every unit test. The log, the status line and the
// message boxes are recorded in one ordered trace, so that a test checks order along with content:
//   log:<line>  status:<text>  box:<text>  ask:<question>  invalid:<text>  beep
// and, for start-up's host, the steps it was asked to take.
#include "app/startup.h"
#include "common/services.h"
#include "config/config_store.h"
#include "hypervisor/discovery.h"
#include "hypervisor/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

namespace tarnwick::fakes {

using Trace = std::vector<std::string>;

class RecordingUi : public Reporter, public Dialogs {
  public:
    Trace trace;
    std::deque<bool> answers; // Confirm's answers, in order; running out fails the test
    // Runs once, right after the matching trace line: what another handler does during that wait.
    std::map<std::string, std::function<void()>> during;

    void Record(const std::string& line) {
        trace.push_back(line);
        const auto hook = during.find(line);
        if (hook == during.end()) return;
        const auto action = hook->second;
        during.erase(hook);
        action();
    }
    // The texts of one kind of line ("log:", "status:", "box:" ...), in order.
    Trace Lines(std::string_view kind) const {
        Trace texts;
        for (const std::string& line : trace)
            if (line.starts_with(kind)) texts.push_back(line.substr(kind.size()));
        return texts;
    }
    // What reached the log: every log line and every status, in order.
    Trace Logged() const {
        Trace texts;
        for (const std::string& line : trace)
            for (const std::string_view kind : {"log:", "status:"})
                if (line.starts_with(kind)) texts.push_back(line.substr(kind.size()));
        return texts;
    }
    // Everything the dialogs were asked, with its kind: "box:...", "ask:...", "invalid:...", "beep".
    Trace DialogLines() const {
        Trace lines;
        for (const std::string& line : trace)
            if (!line.starts_with("log:") && !line.starts_with("status:")) lines.push_back(line);
        return lines;
    }
    size_t Count(const std::string& line) const {
        return static_cast<size_t>(std::count(trace.begin(), trace.end(), line));
    }

    bool logFails = false; // every log line and status is recorded, then fails as an unwritable log does

    void WriteLog(const std::string& m) override {
        Record("log:" + m);
        if (logFails) throw IoError("The log cannot be written.");
    }
    void ShowStatus(const std::string& m) override {
        Record("status:" + m);
        if (logFails) throw IoError("The log cannot be written.");
    }
    void ShowMessage(const std::string& t) override { Record("box:" + t); }
    bool Confirm(const std::string& q) override {
        Record("ask:" + q);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question " << q;
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void InvalidEntry(const std::string& t) override { Record("invalid:" + t); }
    void Beep() override { Record("beep"); }
};

// Files by path, and directories by name; nothing else exists.
class MemoryFiles : public FileSystem {
  public:
    bool FileExists(const std::string& path) override { return files.contains(path); }
    bool DirectoryExists(const std::string& path) override { return directories.contains(path); }
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
    uint64_t FolderFileBytes(const std::string& folder) override {
        const std::string prefix = folder.ends_with('\\') ? folder : folder + '\\';
        uint64_t bytes = 0;
        for (const auto& [path, content] : files)
            if (path.starts_with(prefix) && path.find('\\', prefix.size()) == std::string::npos)
                bytes += SizeOf(path);
        return bytes;
    }
    uint64_t SizeOf(const std::string& path) const {
        const auto extra = extraBytes.find(path);
        return files.at(path).size() + (extra == extraBytes.end() ? 0 : extra->second);
    }
    std::map<std::string, std::string> files;
    std::map<std::string, uint64_t> extraBytes; // a file's size beyond its content: a disk of gigabytes
    std::set<std::string> directories;
    std::set<std::string> unreadable;
    std::vector<std::string> deleted;
};

// Replaces files in a MemoryFiles whole, unless told to fail.
class FakeWriter : public FileWriter {
  public:
    explicit FakeWriter(MemoryFiles& files) : files_(files) {}
    Outcome ReplaceWholeFile(const std::string& path, const std::string& bytes) override {
        ++calls;
        if (!failure.empty()) return Outcome::Failed(failure);
        files_.files[path] = bytes;
        return Outcome::Done();
    }
    std::string failure; // empty: writes go through
    int calls = 0;

  private:
    MemoryFiles& files_;
};

// The Run key: string values by name, and the names of values of another type.
class FakeAutostart : public AutostartStore {
  public:
    bool keyExists = true;
    std::map<std::string, std::string> strings;
    std::vector<std::string> others;
    std::string writeFailure; // empty: writes and deletes go through
    int opened = 0;

    std::unique_ptr<RunKey> OpenRunKey() override {
        ++opened;
        return keyExists ? std::make_unique<Key>(*this) : nullptr;
    }

  private:
    class Key : public RunKey {
      public:
        explicit Key(FakeAutostart& store) : s_(store) {}
        bool ValueExists(const std::string& name) override {
            return s_.strings.contains(name) ||
                   std::find(s_.others.begin(), s_.others.end(), name) != s_.others.end();
        }
        std::optional<std::string> ReadString(const std::string& name) override {
            const auto it = s_.strings.find(name);
            return it == s_.strings.end() ? std::nullopt : std::optional<std::string>(it->second);
        }
        Outcome WriteString(const std::string& name, const std::string& data) override {
            if (!s_.writeFailure.empty()) return Outcome::Failed(s_.writeFailure);
            s_.strings[name] = data;
            return Outcome::Done();
        }
        Outcome DeleteValue(const std::string& name) override {
            if (!s_.writeFailure.empty()) return Outcome::Failed(s_.writeFailure);
            s_.strings.erase(name);
            return Outcome::Done();
        }

      private:
        FakeAutostart& s_;
    };
};

// Each run is answered by `tool`, which may write the capture file as the real redirection would.
class ScriptedProcesses : public Processes {
  public:
    struct Answer {
        bool started = true;
        uint32_t exitCode = 0;
        bool hangs = false; // never ends by itself: the limit ends it, with exit code 1460
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
    RunEnd RunWithLimit(const std::string& commandLine, const RunLimit& limit, uint32_t& exitCode) override {
        limits.push_back(limit.seconds);
        progressBound.push_back(static_cast<bool>(limit.progress));
        lines.push_back(commandLine);
        workingDirs.emplace_back();
        waits.push_back(true);
        const Answer answer = tool ? tool(commandLine) : Answer{};
        exitCode = answer.started ? answer.exitCode : 0;
        if (!answer.started) return RunEnd::NotStarted;
        if (answer.hangs && limit.seconds > 0) {
            exitCode = 1460;
            return RunEnd::TimedOut;
        }
        return RunEnd::Exited;
    }
    void Sleep(unsigned milliseconds) override {
        sleeps.push_back(milliseconds);
        clockMs += milliseconds;
    }
    uint64_t TickMilliseconds() override { return clockMs; }

    std::function<Answer(const std::string& commandLine)> tool;
    uint64_t clockMs = 0;
    std::vector<std::string> lines;
    std::vector<std::string> workingDirs;
    std::vector<bool> waits;
    std::vector<uint32_t> limits; // seconds, per limited run
    std::vector<bool> progressBound;
    std::vector<unsigned> sleeps;
};

// Install paths by view and key; a value may be of the wrong type.
class FakeRegistry : public RegistryReader {
  public:
    struct WrongType {};
    using Value = std::variant<std::string, WrongType>;

    std::optional<std::string> ReadMachineString(RegistryView view, const std::string& keyPath,
                                                 const std::string& valueName) override {
        reads.emplace_back(view, keyPath);
        const auto found = values.find({view, keyPath, valueName});
        if (found == values.end()) return std::nullopt;
        if (std::holds_alternative<WrongType>(found->second)) throw RegistryDataError(valueName);
        return std::get<std::string>(found->second);
    }
    void Set(RegistryView view, const std::string& key, Value value) {
        values[{view, key, "InstallPath"}] = std::move(value);
    }
    std::map<std::tuple<RegistryView, std::string, std::string>, Value> values;
    std::vector<std::pair<RegistryView, std::string>> reads;
};

// Start-up's host, recording each step: "probe:<product>", "no-snapshot", "load", "backup:<target>",
// "check", "startall", "timer", "quit", "notice:<text>". VMware is looked for by the real discovery when one
// is given; otherwise Workstation is found in toolDir, and nothing when toolDir is empty.
class RecordingStartupHost : public RecordingUi, public StartupHost {
  public:
    Discovery* discovery = nullptr;
    std::string toolDir = "C:\\VMware\\";
    std::string toolDirShown;
    VmwareTools used;
    bool otherInstance = false;
    int backupResult = 0;
    bool endRequested = false;

    VmwareProbe ProbeVmware(const std::string& product) override {
        Record("probe:" + product);
        if (discovery) return discovery->Probe(product);
        VmwareProbe probe;
        if (toolDir.empty()) return probe;
        probe.outcome = VmwareProbe::Outcome::Found;
        probe.tools = VmwareTools{toolDir + "vmrun.exe", true, toolDir};
        return probe;
    }
    void DisableSnapshot() override { Record("no-snapshot"); }
    void ShowToolDir(const std::string& text) override { toolDirShown = text; }
    void UseVmware(const VmwareTools& tools) override {
        Record("use:" + tools.toolPath);
        used = tools;
    }
    void LoadConfig() override { Record("load"); }
    int BackupRunningVms(const std::string& target) override {
        Record("backup:" + target);
        return backupResult;
    }
    void NotifyFailure(const std::string& text) override { Record("notice:" + text); }
    bool CheckOtherInstance() override {
        Record("check");
        return otherInstance;
    }
    void StartAll() override { Record("startall"); }
    void EnableHideTimer() override { Record("timer"); }
    void QuitApp() override {
        endRequested = true;
        Record("quit");
    }
    bool EndRequested() const override { return endRequested; }
};

} // namespace tarnwick::fakes
