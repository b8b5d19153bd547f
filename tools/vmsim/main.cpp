// vmsim: a stand-in for VMware's command-line tools, for tests and the demo. The one executable plays
// vmrun.exe or vmware.exe according to its own file name, vmware-cmd through vmware-cmd.bat, and takes
// control commands with --ctl.
#include "store.h"
#include "tools.h"

#include <optional>

namespace vmsim {
namespace {

// The arguments after the program name, split by the C runtime's rules (backslashes count only before a
// double quote). Done here rather than by the runtime, which may expand wildcards ("*" is a valid
// injection target), and rather than by CommandLineToArgvW, whose shell32 costs every run a noticeable
// start-up under Wine.
std::vector<std::string> CommandLineArgs() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {
        }
        if (*p) ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    std::vector<std::string> args;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p) return args;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            size_t slashes = 0;
            while (*p == '\\') {
                ++slashes;
                ++p;
            }
            if (*p == '"') {
                arg.append(slashes / 2, '\\');
                if (slashes % 2) {
                    arg += '"';
                } else if (quoted && p[1] == '"') {
                    arg += '"';
                    ++p;
                } else {
                    quoted = !quoted;
                }
                ++p;
            } else {
                arg.append(slashes, '\\');
                if (*p && (quoted || (*p != ' ' && *p != '\t'))) arg += *p++;
            }
        }
        args.push_back(arg);
    }
}

std::optional<Role> RoleFromName(std::string name) {
    name = Lower(name);
    if (name == "vmrun" || name == "--vmrun") return Role::Vmrun;
    if (name == "vmware-cmd" || name == "--vmware-cmd") return Role::VmwareCmd;
    if (name == "vmware" || name == "--vmware") return Role::Vmware;
    return std::nullopt;
}

std::string WithBreak(const std::string& stored, bool raw) {
    std::string text = DecodeText(stored);
    return text.empty() || raw ? text : text + "\r\n";
}

int RunTool(Role role, const std::vector<std::string>& args) {
    Store store(ResolveHome());
    std::optional<Injection> injection;
    unsigned long shutdownMs = 0;
    {
        // Journal first, so that a call that then hangs or fails is still on record.
        Store::Lock lock(store);
        store.AppendJournal(JournalLine(RoleName(role), args));
        State state = store.Load();
        shutdownMs = SoftStopWaitMs(role, state, args);
        if (Injection* found = FindInjection(state, role, TargetOf(role, args))) {
            injection = *found;
            if (found->times > 0) {
                if (--found->times == 0)
                    state.injections.erase(state.injections.begin() + (found - state.injections.data()));
                store.Save(state);
            }
        }
    }
    // Waits happen outside the lock, so one slow or hung call never holds up the others.
    if (injection) {
        if (injection->delayMs) Sleep(injection->delayMs);
        if (injection->hang) Sleep(INFINITE);
        if (injection->err) WriteStd(STD_ERROR_HANDLE, WithBreak(*injection->err, injection->raw));
    }
    // The guest shuts down meanwhile; a caller that gives up first ends this process, and the VM runs on.
    if (shutdownMs) Sleep(shutdownMs);
    Answer answer;
    if (!injection || !injection->Replaces() || injection->run) {
        Store::Lock lock(store);
        State state = store.Load();
        answer = Act(role, state, args);
        if (answer.changed) store.Save(state);
    }
    if (injection && injection->Replaces()) {
        answer.out = injection->out ? WithBreak(*injection->out, injection->raw) : "";
        answer.err.clear();
        answer.exitCode = injection->exitCode.value_or(0);
    }
    if (injection && injection->ends && !args.empty()) {
        std::vector<std::string> ended = args;
        ended[0] += ":end";
        Store::Lock lock(store);
        store.AppendJournal(JournalLine(RoleName(role), ended));
    }
    WriteStd(STD_OUTPUT_HANDLE, answer.out);
    WriteStd(STD_ERROR_HANDLE, answer.err);
    return static_cast<int>(answer.exitCode);
}

} // namespace
} // namespace vmsim

int main() {
    using namespace vmsim;
    std::vector<std::string> args = CommandLineArgs();
    std::string exe = ExePath();
    std::string name = exe.substr(exe.find_last_of("\\/:") + 1);
    name = name.substr(0, name.find_last_of('.'));
    // No real tool takes --ctl, so every copy accepts it: a test needs only the tool's path.
    if (!args.empty() && Lower(args[0]) == "--ctl")
        return RunCtl(std::vector<std::string>(args.begin() + 1, args.end()));
    std::optional<Role> role = RoleFromName(name);
    if (!role && !args.empty()) {
        role = RoleFromName(args[0]);
        if (role) args.erase(args.begin());
    }
    if (!role) {
        WriteStd(STD_ERROR_HANDLE,
                 "vmsim: a test double for VMware's tools. Run it as vmrun.exe or vmware.exe, "
                 "or with --vmrun, --vmware, --vmware-cmd or --ctl (see README.md).\r\n");
        return 2;
    }
    return RunTool(*role, args);
}
