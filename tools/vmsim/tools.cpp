#include "tools.h"

namespace vmsim {

namespace {

constexpr unsigned long kVmrunFailure = 255; // vmrun returns -1
constexpr unsigned long kVmwareCmdFailure = 1;
const char* const kCrlf = "\r\n";

using Args = std::vector<std::string>;

Answer VmrunError(const std::string& text) {
    return {"Error: " + text + kCrlf, "", kVmrunFailure, false};
}

std::string CannotOpen(const std::string& path) {
    return "Cannot open VM: " + path + ", Cannot read the virtual machine configuration file";
}

// vmrun's host and guest options come before the verb, each with one value.
Args SkipOptions(const Args& args, std::initializer_list<const char*> withValue,
                 std::initializer_list<const char*> flags, std::vector<std::string>* seenFlags = nullptr) {
    Args rest;
    size_t i = 0;
    while (i < args.size()) {
        bool matched = false;
        for (const char* opt : withValue) {
            if (args[i] == opt) {
                i += 2;
                matched = true;
                break;
            }
        }
        for (const char* flag : flags) {
            if (!matched && args[i] == flag) {
                if (seenFlags) seenFlags->push_back(flag);
                ++i;
                matched = true;
            }
        }
        if (!matched) break;
    }
    for (; i < args.size(); ++i)
        rest.push_back(args[i]);
    return rest;
}

Args VmrunArgs(const Args& args) {
    return SkipOptions(args, {"-T", "-h", "-P", "-u", "-p", "-gu", "-gp", "-vp"}, {});
}

bool OneOf(const std::string& word, std::initializer_list<const char*> choices) {
    for (const char* c : choices)
        if (Lower(word) == c) return true;
    return false;
}

const char* const kVmrunUsage = "vmrun (VMware tool simulator, a test double)\r\n"
                                "Usage: vmrun [-T ws|server] COMMAND [PARAMETERS]\r\n"
                                "  list\r\n"
                                "  start <vmx> [gui|nogui]\r\n"
                                "  stop <vmx> [hard|soft]\r\n"
                                "  suspend <vmx> [hard|soft]\r\n"
                                "  snapshot <vmx> <name>\r\n"
                                "  deleteSnapshot <vmx> <name>\r\n"
                                "  listSnapshots <vmx>\r\n"
                                "  checkToolsState <vmx>\r\n";

// The VMs a vmrun verb acts on: the VM itself, or a Team's members.
std::vector<std::string> Members(const std::string& path) {
    return IsTeam(path) ? ReadTeam(path) : std::vector<std::string>{path};
}

Answer VmrunPower(State& state, const std::string& verb, const std::string& path) {
    std::vector<std::string> members = Members(path);
    if (verb == "start") {
        for (const std::string& m : members)
            if (!FileExists(m)) return VmrunError(CannotOpen(m));
        // Starting a running VM answers as a success: the simulator's choice, the program never relies on it.
        for (const std::string& m : members)
            SetPower(state.Register(m), Power::Running);
        return {"", "", 0, true};
    }
    // suspend and stop act on the members that run; none running is the error for the whole.
    bool any = false;
    for (const std::string& m : members) {
        Vm* vm = state.Find(m);
        if (vm && vm->power == Power::Running) {
            SetPower(*vm, verb == "suspend" ? Power::Suspended : Power::Off);
            any = true;
        }
    }
    if (!any) return VmrunError("The virtual machine is not powered on: " + path);
    return {"", "", 0, true};
}

std::string VmControlState(Power p) {
    switch (p) {
    case Power::Running:
        return "on";
    case Power::Suspended:
        return "suspended";
    default:
        return "off";
    }
}

Answer VmControlError(const std::string& text) {
    return {"VMControl error " + text + kCrlf, "", kVmwareCmdFailure, false};
}

Answer WrongState(const std::string& op, Power p) {
    return VmControlError(
        "-8: Invalid operation for virtual machine's current state: The requested operation (\"" + op +
        "\") could not be completed because it conflicted with the state of the virtual "
        "machine (\"" +
        VmControlState(p) +
        "\") at the time the request was received.  This error often occurs because the state "
        "of the virtual machine changed before it received the request.");
}

Answer Result(const std::string& call, const std::string& value, bool quiet, bool changed = false) {
    return {(quiet ? value : call + " = " + value) + kCrlf, "", 0, changed};
}

const char* const kVmwareCmdUsage = "Usage: vmware-cmd <options> <vm-cfg-path> <vm-action> <arguments>\r\n"
                                    "       vmware-cmd -s <options> <server-action> <arguments>\r\n"
                                    "  (VMware tool simulator, a test double)\r\n"
                                    "  -l  list the registered virtual machines\r\n"
                                    "  -q  quiet: print the result value only\r\n"
                                    "  VM actions: getstate, start, stop, suspend\r\n"
                                    "  Server actions: register <vm-cfg-path>, unregister <vm-cfg-path>\r\n";

// vmware-cmd's soft modes: "soft", and "trysoft", which the real tool follows with a hard stop when the
// guest does not shut down; here the refusal is the answer.
bool IsSoftMode(const Args& opArgs) {
    return opArgs.size() > 2 && OneOf(opArgs[2], {"soft", "trysoft"});
}

// A running VM (not a Team) whose guest refuses a soft stop.
bool RefusesShutdown(State& state, const std::string& path) {
    const Vm* vm = IsTeam(path) ? nullptr : state.Find(path);
    return vm && vm->power == Power::Running && vm->shutdownRefused;
}

} // namespace

unsigned long SoftStopWaitMs(Role role, State& state, const Args& all) {
    std::string path;
    if (role == Role::Vmrun) {
        const Args a = VmrunArgs(all);
        if (a.size() == 3 && Lower(a[0]) == "stop" && Lower(a[2]) == "soft") path = a[1];
    } else if (role == Role::VmwareCmd) {
        const Args a = SkipOptions(all, {"-H", "-O", "-U", "-P"}, {"-q", "-v"});
        if (a.size() > 1 && Lower(a[1]) == "stop" && IsSoftMode(a)) path = a[0];
    }
    if (path.empty() || IsTeam(path)) return 0;
    const Vm* vm = state.Find(path);
    if (!vm || vm->power != Power::Running || vm->shutdownRefused) return 0;
    return vm->shutdownAfterMs;
}

const char* RoleName(Role role) {
    switch (role) {
    case Role::Vmrun:
        return "vmrun";
    case Role::VmwareCmd:
        return "vmware-cmd";
    default:
        return "vmware";
    }
}

bool IsTeam(const std::string& path) {
    return path.size() >= 5 && Lower(path.substr(path.size() - 5)) == ".vmtm";
}

std::vector<std::string> ReadTeam(const std::string& path) {
    std::vector<std::string> members;
    auto bytes = ReadFileBytes(path);
    if (!bytes) return members;
    std::string folder = path.substr(0, path.find_last_of("\\/:") + 1);
    std::string line;
    auto take = [&] {
        size_t b = line.find_first_not_of(" \t");
        size_t e = line.find_last_not_of(" \t");
        std::string item = b == std::string::npos ? "" : line.substr(b, e - b + 1);
        if (item.size() >= 2 && item.front() == '"' && item.back() == '"')
            item = item.substr(1, item.size() - 2);
        line.clear();
        if (item.empty() || item[0] == '#' || item[0] == ';') return;
        bool absolute = (item.size() > 1 && item[1] == ':') || item[0] == '\\' || item[0] == '/';
        members.push_back(absolute ? item : folder + item);
    };
    for (char c : *bytes) {
        if (c == '\r' || c == '\n')
            take();
        else
            line += c;
    }
    take();
    return members;
}

Target TargetOf(Role role, const Args& all) {
    Target t;
    if (role == Role::Vmrun) {
        Args a = VmrunArgs(all);
        if (!a.empty()) t.verb = Lower(a[0]);
        if (a.size() > 1 && t.verb != "list") t.vm = a[1];
    } else if (role == Role::VmwareCmd) {
        Args a = SkipOptions(all, {"-H", "-O", "-U", "-P"}, {"-q", "-v"});
        if (!a.empty() && a[0] == "-l") {
            t.verb = "-l";
        } else if (!a.empty() && a[0] == "-s") {
            if (a.size() > 1) t.verb = Lower(a[1]);
            if (a.size() > 2) t.vm = a[2];
        } else if (!a.empty()) {
            t.vm = a[0];
            if (a.size() > 1) t.verb = Lower(a[1]);
        }
    } else {
        t.verb = "open";
        for (const std::string& arg : all) {
            if (arg.empty() || arg[0] != '-') {
                t.vm = arg;
                break;
            }
        }
    }
    return t;
}

Answer RunVmrun(State& state, const Args& all) {
    Args a = VmrunArgs(all);
    if (a.empty()) return {kVmrunUsage, "", kVmrunFailure, false};
    std::string verb = Lower(a[0]);
    if (verb == "list") {
        std::string out;
        int count = 0;
        for (const Vm& vm : state.vms) {
            if (vm.power != Power::Running) continue;
            out += vm.path + kCrlf;
            ++count;
        }
        return {"Total running VMs: " + std::to_string(count) + kCrlf + out, "", 0, false};
    }
    if (!OneOf(verb, {"start", "stop", "suspend", "snapshot", "deletesnapshot", "listsnapshots",
                      "checktoolsstate"}))
        return VmrunError("Unrecognized command: " + a[0]);
    bool needsName = verb == "snapshot" || verb == "deletesnapshot";
    if (a.size() < (needsName ? 3u : 2u))
        return VmrunError("Invalid number of arguments for command: " + a[0]);
    if (a.size() > 3) return VmrunError("Invalid number of arguments for command: " + a[0]);
    const std::string& path = a[1];
    if (!FileExists(path)) return VmrunError(CannotOpen(path));
    if (verb == "checktoolsstate") {
        if (a.size() != 2) return VmrunError("Invalid number of arguments for command: " + a[0]);
        if (IsTeam(path)) return VmrunError("The operation is not supported for the specified parameters");
        const Vm* vm = state.Find(path);
        return {(vm ? ToolsState(*vm) : std::string("unknown")) + kCrlf, "", 0, false};
    }

    if (verb == "start" || verb == "stop" || verb == "suspend") {
        if (a.size() == 3 &&
            !OneOf(a[2], verb == "start" ? std::initializer_list<const char*>{"gui", "nogui"}
                                         : std::initializer_list<const char*>{"hard", "soft"}))
            return VmrunError("Invalid argument: " + a[2]);
        if (verb == "stop" && a.size() == 3 && Lower(a[2]) == "soft" && RefusesShutdown(state, path))
            return VmrunError("The guest refused to shut down: " + path);
        return VmrunPower(state, verb, path);
    }
    if (IsTeam(path)) return VmrunError("The operation is not supported for the specified parameters");

    Vm& vm = state.Register(path);
    if (verb == "listsnapshots") {
        std::string out = "Total snapshots: " + std::to_string(vm.snapshots.size()) + kCrlf;
        for (const std::string& s : vm.snapshots)
            out += s + kCrlf;
        return {out, "", 0, true};
    }
    const std::string& name = a[2];
    if (verb == "snapshot") {
        // VMware allows several snapshots of one name; deleting by that name then fails.
        vm.snapshots.push_back(name);
        return {"", "", 0, true};
    }
    size_t found = 0;
    auto hit = vm.snapshots.end();
    for (auto it = vm.snapshots.begin(); it != vm.snapshots.end(); ++it) {
        if (*it == name) {
            ++found;
            hit = it;
        }
    }
    if (found == 0) return VmrunError("A snapshot with the name does not exist");
    if (found > 1) return VmrunError("The name does not uniquely identify one snapshot");
    vm.snapshots.erase(hit);
    return {"", "", 0, true};
}

Answer RunVmwareCmd(State& state, const Args& all) {
    std::vector<std::string> flags;
    Args a = SkipOptions(all, {"-H", "-O", "-U", "-P"}, {"-q", "-v"}, &flags);
    bool quiet = false;
    for (const std::string& f : flags)
        quiet = quiet || f == "-q";
    if (a.empty()) return {kVmwareCmdUsage, "", kVmwareCmdFailure, false};
    if (a[0] == "-l") {
        std::string out;
        for (const Vm& vm : state.vms)
            out += vm.path + kCrlf;
        return {out, "", 0, false};
    }
    if (a[0] == "-s") {
        if (a.size() != 3 || !OneOf(a[1], {"register", "unregister"}))
            return {kVmwareCmdUsage, "", kVmwareCmdFailure};
        std::string op = Lower(a[1]);
        const std::string& path = a[2];
        bool ok = op == "register" ? FileExists(path) : state.Find(path) != nullptr;
        if (ok && op == "register") state.Register(path);
        if (ok && op == "unregister") state.Remove(path);
        return Result(op + "(" + path + ")", ok ? "1" : "0", quiet, ok);
    }
    if (a.size() < 2) return {kVmwareCmdUsage, "", kVmwareCmdFailure, false};
    const std::string& path = a[0];
    std::string op = Lower(a[1]);
    if (!OneOf(op, {"getstate", "start", "stop", "suspend"}))
        return VmControlError("-1: Unknown operation: " + a[1]);
    Vm* vm = state.Find(path);
    if (!vm)
        return VmControlError("-11: No such virtual machine: The config file " + path +
                              " is not registered.  Please register the config file and try again.");
    if (op == "getstate") return Result("getstate()", VmControlState(vm->power), quiet);
    if (op == "start") {
        if (vm->power == Power::Running) return WrongState(op, vm->power);
        // A registered VM whose configuration file has gone cannot power on.
        if (!FileExists(vm->path)) return Result("start()", "0", quiet);
        SetPower(*vm, Power::Running);
        return Result("start()", "1", quiet, true);
    }
    if (op == "suspend") {
        if (vm->power != Power::Running) return WrongState(op, vm->power);
        SetPower(*vm, Power::Suspended);
        return Result("suspend()", "1", quiet, true);
    }
    if (vm->power == Power::Off) return WrongState(op, vm->power);
    if (IsSoftMode(a) && RefusesShutdown(state, path))
        return VmControlError("-16: The guest refused to shut down: " + path);
    SetPower(*vm, Power::Off);
    return Result("stop()", "1", quiet, true);
}

Answer RunVmware(State& state, const Args& args) {
    // vmware.exe [-x] [-q] [other GUI switches] [file]: -x powers the VM or Team on; -q, quit when it powers
    // off, has nothing to do here because the simulated GUI ends at once.
    bool powerOn = false;
    std::string file;
    for (const std::string& arg : args) {
        if (!arg.empty() && arg[0] == '-')
            powerOn = powerOn || arg == "-x";
        else if (file.empty())
            file = arg;
    }
    if (file.empty()) return {};
    if (!FileExists(file))
        return {"", "Cannot open file \"" + file + "\": The system cannot find the file specified." + kCrlf,
                1};
    if (!powerOn) return {};
    Answer answer{"", "", 0, true};
    for (const std::string& m : Members(file)) {
        if (!FileExists(m)) {
            answer.err +=
                "Cannot open file \"" + m + "\": The system cannot find the file specified." + kCrlf;
            answer.exitCode = 1;
            continue;
        }
        SetPower(state.Register(m), Power::Running);
    }
    return answer;
}

Answer Act(Role role, State& state, const Args& args) {
    switch (role) {
    case Role::Vmrun:
        return RunVmrun(state, args);
    case Role::VmwareCmd:
        return RunVmwareCmd(state, args);
    default:
        return RunVmware(state, args);
    }
}

Injection* FindInjection(State& state, Role role, const Target& target) {
    std::string roleName = RoleName(role);
    Injection* best = nullptr;
    int bestScore = -1;
    for (Injection& inj : state.injections) {
        if (inj.times == 0) continue;
        int vmScore = inj.vm == "*" ? 0 : (!target.vm.empty() && SamePath(inj.vm, target.vm) ? 2 : -1);
        int verbScore = inj.verb == roleName + ":" + target.verb ? 3
                        : inj.verb == target.verb                ? 2
                        : inj.verb == roleName + ":*"            ? 1
                        : inj.verb == "*"                        ? 0
                                                                 : -1;
        if (vmScore < 0 || verbScore < 0) continue;
        int score = vmScore * 4 + verbScore;
        if (score > bestScore) {
            best = &inj;
            bestScore = score;
        }
    }
    return best;
}

} // namespace vmsim
