#pragma once
// One fake behind every service the sequences use, recording each call in the shared fakes' one
// ordered trace.
#include "common/text_case.h"
#include "config/control_list.h"
#include "fakes.h"
#include "sequences/backup.h"
#include "sequences/end_session_gate.h"
#include "sequences/sequencer.h"
#include "sequences/session_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tarnwick::sequences_test {

using fakes::Trace;

struct Entry {
    std::string text;
    bool enabled = true;
};

// Files and directories as in fakes::MemoryFiles; command lines and sleeps are recorded in the trace.
class FakeWorld : public fakes::RecordingUi,
                  public fakes::MemoryFiles,
                  public Processes,
                  public ControlListView,
                  public VmOperations,
                  public SessionPlatform {
  public:
    std::vector<Entry> entries;
    std::optional<size_t> selected;
    std::set<std::string> failingVerbs; // "verb path" that the tool reports as failed
    std::vector<std::string> running;   // what ListRunningVms returns
    std::map<std::string, std::pair<bool, uint32_t>> commandResults; // command -> started, exit code
    bool privilegeOk = true, exitWindowsOk = true, blockReasonsSupported = true;
    ConfigOptions options; // the backup options
    // The clock behind TickMilliseconds: sleeps move it, and so does each tools query (a tool run
    // takes time). A VM's tools run from toolsUpAt on (ms on this clock); a VM not named never says so.
    uint64_t clockMs = 0;
    uint64_t toolsQueryMs = 0;
    std::map<std::string, uint64_t> toolsUpAt;
    void CheckIndex(size_t i) const {
        if (i >= entries.size()) ADD_FAILURE() << "list read past its end: " << i;
    }

    bool RunCommandLine(const std::string& cmd, const std::string& dir, bool wait,
                        uint32_t& exitCode) override {
        const auto found = commandResults.find(cmd);
        const auto result = found == commandResults.end() ? std::make_pair(true, 0u) : found->second;
        exitCode = wait && result.first ? result.second : 0;
        Record("run:" + cmd + "|" + dir + "|" + (wait ? "wait" : "nowait"));
        return result.first;
    }
    void Sleep(unsigned ms) override {
        clockMs += ms;
        Record("sleep:" + std::to_string(ms));
    }
    uint64_t TickMilliseconds() override { return clockMs; }

    size_t Count() const override { return entries.size(); }
    std::string Text(size_t i) const override {
        CheckIndex(i);
        return entries.at(i).text;
    }
    bool Enabled(size_t i) const override {
        CheckIndex(i);
        return entries.at(i).enabled;
    }
    void ReplaceText(size_t i, const std::string& text) override {
        CheckIndex(i);
        entries.at(i).text = text;
        Record("replace:" + std::to_string(i) + ":" + text);
    }
    std::optional<size_t> Selection() const override { return selected; }
    // By the list's own rule for letter case.
    std::optional<size_t> FindText(const std::string& text) const override {
        for (size_t i = 0; i < entries.size(); ++i)
            if (SameTextIgnoringCase(entries[i].text, text)) return i;
        return std::nullopt;
    }

    bool ExecVmCommand(const std::string& verb, const std::string& path) override {
        Record("exec:" + verb + " " + path);
        return !failingVerbs.contains(verb + " " + path);
    }
    std::vector<std::string> ListRunningVms() override {
        Record("list-running");
        return running;
    }
    bool ToolsRunning(const std::string& path) override {
        Record("tools:" + path);
        clockMs += toolsQueryMs;
        const auto up = toolsUpAt.find(path);
        return up != toolsUpAt.end() && clockMs >= up->second;
    }

    bool SetPrivilege(const std::string& name, bool enable) override {
        Record("privilege:" + name + (enable ? "+" : "-"));
        return privilegeOk;
    }
    bool ExitWindowsEx(uint32_t flags) override {
        Record("exitwindows:" + std::to_string(flags));
        return exitWindowsOk;
    }
    bool CreateShutdownBlockReason(const std::string& reason) override {
        Record("block:create:" + reason);
        return blockReasonsSupported;
    }
    void DestroyShutdownBlockReason() override { Record("block:destroy"); }
};

inline const std::string Now = "12/8/2026  12:52:09 AM";
inline const std::string BlockCreated = std::string("block:create:") + ShutdownBlockReasonText;

// The whole program's sequence side, wired to one fake.
struct Rig {
    FakeWorld w;
    VmwareTools vmware{"C:\\Program Files\\VMware\\vmrun.exe", true, "C:\\Program Files\\VMware\\"};
    EndSessionGate gate{w};
    HeldLog log{w}; // the whole program logs through it, as the shell wires it
    Sequencer seq{
        SequenceServices{vmware, w, w, log, w, w, gate, [] { return Now; }, [this] { w.Record("quit"); }}};
    SessionEnd session{log, gate, seq, w};

    // The trace from line `from` on.
    Trace From(size_t from) const { return Trace(w.trace.begin() + static_cast<long>(from), w.trace.end()); }
};

} // namespace tarnwick::sequences_test
