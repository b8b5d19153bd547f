#pragma once
// One fake behind every service the sequences use, recording each call in the shared fakes' one
// ordered trace.
#include "common/paths.h"
#include "common/text_case.h"
#include "config/control_list.h"
#include "fakes.h"
#include "sequences/backup.h"
#include "sequences/end_session_gate.h"
#include "sequences/sequencer.h"
#include "sequences/session_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tarnwick::sequences_test {

using fakes::Trace;

struct Entry {
    std::string text;
    bool enabled = true;
    StopAction action = StopAction::Suspend;
};

// Files and directories as in fakes::MemoryFiles; command lines and sleeps are recorded in the trace.
// XCOPY lines and single-file copies are carried out on those files as Windows would, so a backup can be
// checked by what it leaves; folder renames, removals and makes are recorded as "rename:<from>><to>",
// "rmdir:<folder>" and "mkdir:<folder>", single-file copies as "copy:<from>><to>", small files written
// as "write:<path>".
class FakeWorld : public fakes::RecordingUi,
                  public fakes::MemoryFiles,
                  public BackupFolders,
                  public Processes,
                  public ControlListView,
                  public VmOperations,
                  public SessionPlatform,
                  public BackupProgressView {
  public:
    std::vector<Entry> entries;
    std::optional<size_t> selected;
    std::set<std::string> failingVerbs;  // "verb path" that the tool reports as failed
    std::set<std::string> throwingVerbs; // "verb path" whose capture file cannot be read
    std::vector<std::string> running;    // what ListRunningVms returns
    // A stop the tool accepts turns the VM off this long later on the clock (at once when not named).
    std::map<std::string, uint64_t> shutdownMs, offAt;
    bool listingFails = false;
    std::map<std::string, std::pair<bool, uint32_t>> commandResults; // command -> started, exit code
    bool privilegeOk = true, exitWindowsOk = true, blockReasonsSupported = true;
    ConfigOptions options; // the backup options
    // The clock behind TickMilliseconds: sleeps move it, and so does each tools query (a tool run
    // takes time). A VM's tools run from toolsUpAt on (ms on this clock); a VM not named never says so.
    uint64_t clockMs = 0;
    uint64_t toolsQueryMs = 0;
    std::map<std::string, uint64_t> toolsUpAt;
    std::string currentDir = "C:\\Work";
    std::map<std::string, uint64_t> stamps;        // a file's last-write stamp, 0 when not set
    std::map<std::string, size_t> copyLimits;      // source file -> bytes a copy gets through (a full disk)
    std::map<std::string, CopyResult> copyResults; // source file -> how its single-file copy ends instead
    std::vector<uint32_t> copyStallSeconds;        // the limit of each single-file copy
    std::set<std::string> stuckFolders;            // cannot be renamed or removed (a file in it is open)
    std::set<std::string> heldFiles; // open without leave to delete: their folder can be renamed, not removed
    // Source files that an XCOPY leaves at their full size with other bytes and a stamp of its own, as a
    // copy ended mid-file does on Windows.
    std::set<std::string> tornByXcopy;
    uint64_t copyTimeGrain = 0; // what copies' times are rounded down to, as FAT keeps them (100 ns)
    std::map<std::string, std::function<void()>> onCopy; // file name -> runs right before it is copied
    using RecordingUi::Count;
    std::set<std::string> hangingCommands; // run until their limit ends them
    struct SeenLimit {
        uint32_t seconds;
        uint64_t progressAtStart; // the progress reading when the run began
        bool progressBound;
    };
    std::vector<SeenLimit> runLimits;
    std::vector<std::string> tips; // what the backup showed of its progress, in order
    void CheckIndex(size_t i) const {
        if (i >= entries.size()) ADD_FAILURE() << "list read past its end: " << i;
    }

    bool RunCommandLine(const std::string& cmd, const std::string& dir, bool wait,
                        uint32_t& exitCode) override {
        const auto found = commandResults.find(cmd);
        const auto result = found == commandResults.end() ? std::make_pair(true, 0u) : found->second;
        exitCode = wait && result.first ? result.second : 0;
        Record("run:" + cmd + "|" + dir + "|" + (wait ? "wait" : "nowait"));
        if (result.first) CarryOutXcopies(cmd);
        return result.first;
    }

    // Every `XCOPY /I /Y /C /H /K "source" "destination"` in the line: a folder's top-level files, or one
    // file, into the destination folder, made when missing. Paths are those the tests use: no '%' or quote.
    void CarryOutXcopies(const std::string& cmd) {
        const std::string op = "XCOPY /I /Y /C /H /K \"";
        for (size_t at = cmd.find(op); at != std::string::npos; at = cmd.find(op, at + 1)) {
            const size_t srcEnd = cmd.find('"', at + op.size());
            const std::string src = cmd.substr(at + op.size(), srcEnd - at - op.size());
            const size_t dstStart = srcEnd + 3;
            const std::string dst = cmd.substr(dstStart, cmd.find('"', dstStart) - dstStart);
            std::vector<std::string> sources;
            if (directories.contains(src)) {
                for (const auto& f : ListFiles(src).value_or(std::vector<File>()))
                    sources.push_back(src + "\\" + f.name);
            } else if (files.contains(src)) {
                sources.push_back(src);
            }
            directories.insert(dst);
            for (const std::string& from : sources) {
                const std::string to = dst + "\\" + std::string(FileNamePart(from));
                Copy(from, to);
                if (!tornByXcopy.contains(from)) continue;
                files[to] = std::string(files[to].size(), '?');
                stamps[to] = stamps[from] + 30'000'000; // written 3 s later
            }
        }
    }
    void Copy(const std::string& from, const std::string& to) {
        if (const auto hook = onCopy.find(std::string(FileNamePart(from))); hook != onCopy.end())
            hook->second();
        std::string bytes = files[from];
        if (const auto limit = copyLimits.find(from); limit != copyLimits.end())
            bytes.resize(std::min(bytes.size(), limit->second));
        files[to] = bytes;
        stamps[to] = copyTimeGrain ? stamps[from] / copyTimeGrain * copyTimeGrain : stamps[from];
        extraBytes[to] = extraBytes[from];
    }

    CopyResult CopyOneFile(const std::string& from, const std::string& to, uint32_t stallSeconds,
                           const std::function<void()>&,
                           const std::function<void(uint64_t)>& copied) override {
        Record("copy:" + from + ">" + to);
        copyStallSeconds.push_back(stallSeconds);
        if (copied && files.contains(from)) copied(SizeOf(from) / 2); // a look halfway through
        if (const auto scripted = copyResults.find(from); scripted != copyResults.end())
            return scripted->second;
        if (!files.contains(from) || !directories.contains(std::string(FileParent(to))))
            return {CopyEnd::Failed, 3};
        Copy(from, to);
        return {CopyEnd::Copied, 0};
    }
    static std::string_view FileParent(std::string_view path) {
        return DirectoryPart(path).substr(0, DirectoryPart(path).size() - 1);
    }

    std::string FullPath(const std::string& path) override {
        if (path.size() > 2 && (path[1] == ':' || path.starts_with("\\\\"))) return path;
        return path == "." ? currentDir : currentDir + "\\" + path;
    }
    std::optional<std::vector<File>> ListFiles(const std::string& folder) override {
        if (!directories.contains(folder)) return std::nullopt;
        std::vector<File> listed;
        for (const auto& [path, bytes] : files) {
            if (!path.starts_with(folder + "\\")) continue;
            const std::string name = path.substr(folder.size() + 1);
            if (name.find('\\') == std::string::npos)
                listed.push_back(File{name, SizeOf(path), stamps.contains(path) ? stamps.at(path) : 0});
        }
        return listed;
    }
    bool RenameFolder(const std::string& from, const std::string& to) override {
        Record("rename:" + from + ">" + to);
        if (!directories.contains(from) || directories.contains(to) || stuckFolders.contains(from))
            return false;
        MoveTree(from, to);
        return true;
    }
    bool RemoveFolder(const std::string& folder) override {
        Record("rmdir:" + folder);
        if (stuckFolders.contains(folder)) return false;
        const auto held = std::find_if(heldFiles.begin(), heldFiles.end(),
                                       [&](const std::string& f) { return f.starts_with(folder + "\\"); });
        if (held == heldFiles.end()) {
            MoveTree(folder, "");
            return true;
        }
        // As Windows does: every other file goes, the held one and the folders stay.
        std::erase_if(files, [&](const auto& f) {
            return f.first.starts_with(folder + "\\") && !heldFiles.contains(f.first);
        });
        return false;
    }
    std::optional<std::vector<std::string>> ListFolders(const std::string& folder) override {
        if (!directories.contains(folder)) return std::nullopt;
        std::vector<std::string> listed;
        for (const std::string& d : directories)
            if (d.starts_with(folder + "\\") && d.find('\\', folder.size() + 1) == std::string::npos)
                listed.push_back(d.substr(folder.size() + 1));
        return listed;
    }
    bool MakeFolder(const std::string& folder) override {
        Record("mkdir:" + folder);
        directories.insert(folder);
        return true;
    }
    bool WriteSmallFile(const std::string& path, const std::string& bytes) override {
        Record("write:" + path);
        if (!directories.contains(std::string(FileParent(path)))) return false;
        files[path] = bytes;
        stamps.erase(path);
        return true;
    }
    struct HeldLock : Lock {
        HeldLock(FakeWorld& w, std::string path) : w_(w), path_(std::move(path)) {}
        ~HeldLock() override { w_.Record("unlock:" + path_); }
        FakeWorld& w_;
        std::string path_;
    };
    std::map<std::string, std::string> otherRunsLocks; // lock path -> the holder's process id ("": none)
    LockResult TakeLock(const std::string& path) override {
        Record("lock:" + path);
        if (const auto other = otherRunsLocks.find(path); other != otherRunsLocks.end())
            return {nullptr, true, other->second};
        return {std::make_unique<HeldLock>(*this, path), false, ""};
    }
    // Moves a folder and what lies in it; to "" removes them.
    void MoveTree(const std::string& from, const std::string& to) {
        std::map<std::string, std::string> kept;
        for (auto& [path, bytes] : files) {
            if (!path.starts_with(from + "\\")) {
                kept[path] = bytes;
            } else if (!to.empty()) {
                kept[to + path.substr(from.size())] = bytes;
                stamps[to + path.substr(from.size())] = stamps[path];
                extraBytes[to + path.substr(from.size())] = extraBytes[path];
            }
        }
        files = kept;
        std::set<std::string> held;
        for (const std::string& f : heldFiles)
            if (!f.starts_with(from + "\\"))
                held.insert(f);
            else if (!to.empty())
                held.insert(to + f.substr(from.size()));
        heldFiles = held;
        std::set<std::string> dirs;
        for (const std::string& d : directories) {
            if (d != from && !d.starts_with(from + "\\"))
                dirs.insert(d);
            else if (!to.empty())
                dirs.insert(to + d.substr(from.size()));
        }
        directories = dirs;
    }
    // Traced as a waited RunCommandLine is; the limit goes to runLimits.
    RunEnd RunWithLimit(const std::string& cmd, const RunLimit& limit, uint32_t& exitCode) override {
        runLimits.push_back({limit.seconds, limit.progress ? limit.progress() : 0, bool(limit.progress)});
        if (!RunCommandLine(cmd, "", true, exitCode)) return RunEnd::NotStarted;
        if (limit.progress) limit.progress(); // the runner looks once more before the copy ends
        if (!hangingCommands.contains(cmd) || limit.seconds == 0) return RunEnd::Exited;
        exitCode = 1460;
        return RunEnd::TimedOut;
    }
    void Sleep(unsigned ms) override {
        clockMs += ms;
        Record("sleep:" + std::to_string(ms));
    }
    int cutSleeps = 0; // sleeps that a handler run during them ended early
    void SleepUnless(unsigned ms, const std::function<bool()>& stop) override {
        Sleep(ms);
        if (stop()) ++cutSleeps;
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
    StopAction Action(size_t i) const override {
        CheckIndex(i);
        return entries.at(i).action;
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

    std::set<std::string> limitVerbs; // "verb path" that the limit ends, a failure
    uint64_t endedAtLimit = 0;
    uint64_t RunsEndedAtLimit() const override { return endedAtLimit; }
    bool ExecVmCommand(const std::string& verb, const std::string& path) override {
        Record("exec:" + verb + " " + path);
        if (throwingVerbs.contains(verb + " " + path)) throw IoError("cannot read the capture file");
        // While this run waits, the runner starts offered steps nested in the wait, as CommandRunner does.
        runs.push_back("start " + path);
        maxRunsAtOnce = std::max(maxRunsAtOnce, ++runsAtOnce);
        while (spare && runsAtOnce < spareMost && spare()) {
        }
        --runsAtOnce;
        runs.push_back("end " + path);
        if (limitVerbs.contains(verb + " " + path)) return !++endedAtLimit;
        if (failingVerbs.contains(verb + " " + path)) return false;
        if (verb == "stop") offAt[path] = clockMs + (shutdownMs.contains(path) ? shutdownMs.at(path) : 0);
        return true;
    }
    std::vector<std::string> runs; // "start <path>", "end <path>" of each tool run, in order
    size_t runsAtOnce = 0, maxRunsAtOnce = 0, spareMost = 0;
    std::function<bool()> spare;
    void OfferWhileWaiting(size_t most, std::function<bool()> offered) override {
        spareMost = most;
        spare = std::move(offered);
    }
    // Traced as one line, "together:<seconds>|<path>|<path>...": each one suspended.
    std::vector<bool> SuspendTogether(const std::vector<std::string>& paths,
                                      uint32_t withinSeconds) override {
        std::string line = "together:" + std::to_string(withinSeconds);
        for (const std::string& path : paths)
            line += "|" + path;
        Record(line);
        return std::vector<bool>(paths.size(), true);
    }
    std::optional<std::vector<std::string>> ListRunningVms() override {
        Record("list-running");
        if (listingFails) return std::nullopt;
        std::vector<std::string> on;
        for (const std::string& vm : running)
            if (!offAt.contains(vm) || offAt.at(vm) > clockMs) on.push_back(vm);
        return on;
    }
    bool ToolsRunning(const std::string& path, uint32_t withinSeconds) override {
        Record("tools:" + path);
        // A query longer than it may take is ended there, as the runner ends a run at its limit.
        const uint64_t bound = uint64_t{withinSeconds} * 1000;
        if (toolsQueryMs > bound) Record("tools-cut:" + std::to_string(withinSeconds));
        clockMs += std::min(toolsQueryMs, bound);
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
    int refusalCallBacks = 0; // not traced: the shell's timer, which the tests play by calling RefusalStood
    void CallBackAfterRefusal() override { ++refusalCallBacks; }

    void ShowProgress(const std::string& text) override { tips.push_back(text); }
};

inline const std::string Now = "12/8/2026  12:52:09 AM";
inline const std::string BlockCreated = std::string("block:create:") + ShutdownBlockReasonText;

// The whole program's sequence side, wired to one fake.
struct Rig {
    static inline const VmwareTools Vmrun{"C:\\Program Files\\VMware\\vmrun.exe", true,
                                          "C:\\Program Files\\VMware\\"};
    // Beside the program, as the shell places it.
    static inline const std::string ResumePath = "C:\\Tarnwick\\Tarnwick.resume";
    FakeWorld w;
    fakes::FakeWriter writer{w};
    ResumeRecord resume{ResumePath, w, writer};
    EndSessionGate gate{w};
    HeldLog log{w}; // the whole program logs through it, as the shell wires it
    Sequencer seq;
    SessionEnd session{log, gate, seq, w};

    explicit Rig(const VmwareTools& tools = Vmrun)
        : seq(SequenceServices{tools, w, w, log, w, w, gate, [] { return Now; }, [this] { w.Record("quit"); },
                               ResumeServices{resume, w, w.options}}) {
        seq.SetFailureNoticeHandler([this](const std::string& text) { w.Record("notice:" + text); });
    }

    // The trace from line `from` on.
    Trace From(size_t from) const { return Trace(w.trace.begin() + static_cast<long>(from), w.trace.end()); }
};

} // namespace tarnwick::sequences_test
