// The control commands that tests and the demo use to set the scene and read what happened.
#include "store.h"
#include "tools.h"

#include <cstdlib>

namespace vmsim {

namespace {

const char* const kCtlUsage =
    "Usage: vmsim --ctl COMMAND [ARGUMENTS]\r\n"
    "  home                          print the folder of the state file and journal\r\n"
    "  reset                         forget all VMs, snapshots and injections; empty the journal\r\n"
    "  add-vm VMX [STATE]            register a VM (STATE: off, running, suspended; default off)\r\n"
    "  remove-vm VMX                 unregister a VM\r\n"
    "  set-state VMX STATE           register a VM if needed and set its state\r\n"
    "  state VMX                     print off, running, suspended or unregistered\r\n"
    "  set-tools VMX MS|not-installed  the VM's tools run MS ms after it starts running, or never\r\n"
    "  set-shutdown VMX MS|refuse    a soft stop shuts the VM down after MS ms, or is refused\r\n"
    "  list                          print STATE<TAB>VMX for every registered VM\r\n"
    "  add-snapshot VMX NAME         give a VM a snapshot\r\n"
    "  snapshots VMX                 print a VM's snapshot names\r\n"
    "  inject VM|* VERB|* ITEM...    stdout=TEXT stderr=TEXT exit=N delay=MS times=N hang run raw ends\r\n"
    "  uninject VM|* VERB|*          remove that injection\r\n"
    "  injections                    print the injections as stored\r\n"
    "  journal                       print the journal\r\n"
    "  clear-journal                 empty the journal\r\n"
    "  guest-write VMX FILE OFFSET TEXT  the running VM's guest writes TEXT at OFFSET of FILE in its "
    "folder\r\n";

int Fail(const std::string& text) {
    WriteStd(STD_ERROR_HANDLE, "vmsim: " + text + "\r\n");
    return 2;
}

bool SameTarget(const Injection& inj, const std::string& vm, const std::string& verb) {
    bool vmMatch = (inj.vm == "*" || vm == "*") ? inj.vm == vm : SamePath(inj.vm, vm);
    return vmMatch && inj.verb == Lower(verb);
}

// What a running guest does to its disks: writes into a file of the VM's folder, in place. The file
// keeps its size unless the write reaches past its end. A VM that is not running writes nothing.
int GuestWrite(State& state, const std::vector<std::string>& args) {
    const Vm* vm = state.Find(args[1]);
    if (!vm || vm->power != Power::Running) return Fail("not running: " + args[1]);
    const size_t cut = vm->path.find_last_of('\\');
    const std::string file =
        (cut == std::string::npos ? std::string() : vm->path.substr(0, cut + 1)) + args[2];
    const long long offset = std::atoll(args[3].c_str());
    const std::string text = DecodeText(args[4]);
    UniqueFile h(CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD written = 0;
    if (!h || !SetFilePointerEx(h.get(), at, nullptr, FILE_BEGIN) ||
        !WriteFile(h.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        return Fail("cannot write " + file);
    return 0;
}

} // namespace

int RunCtl(const std::vector<std::string>& args) {
    if (args.empty()) return Fail(std::string("no control command\r\n") + kCtlUsage);
    Store store(ResolveHome());
    Store::Lock lock(store);
    State state = store.Load();
    std::string cmd = Lower(args[0]);
    auto need = [&](size_t count) { return args.size() == count + 1; };
    std::string out;

    if (cmd == "home" && need(0)) {
        out = store.Home() + "\r\n";
    } else if (cmd == "reset" && need(0)) {
        store.Save(State{});
        store.ClearJournal();
    } else if ((cmd == "add-vm" && (need(1) || need(2))) || (cmd == "set-state" && need(2))) {
        std::optional<Power> power = args.size() == 3 ? ParsePower(args[2]) : Power::Off;
        if (!power) return Fail("unknown state: " + args[2]);
        Vm& vm = state.Register(args[1]);
        if (cmd == "set-state" || args.size() == 3) SetPower(vm, *power);
        store.Save(state);
    } else if (cmd == "set-tools" && need(2)) {
        Vm& vm = state.Register(args[1]);
        // Already running: its boot time counts from now.
        if (vm.power == Power::Running && vm.runningSince == 0) vm.runningSince = NowMs();
        if (!ApplyVmItem(vm, "tools=" + Lower(args[2])))
            return Fail("not a time in ms nor not-installed: " + args[2]);
        store.Save(state);
    } else if (cmd == "set-shutdown" && need(2)) {
        if (!ApplyVmItem(state.Register(args[1]), "shutdown=" + Lower(args[2])))
            return Fail("not a time in ms nor refuse: " + args[2]);
        store.Save(state);
    } else if (cmd == "remove-vm" && need(1)) {
        if (!state.Remove(args[1])) return Fail("not registered: " + args[1]);
        store.Save(state);
    } else if (cmd == "state" && need(1)) {
        Vm* vm = state.Find(args[1]);
        out = std::string(vm ? PowerName(vm->power) : "unregistered") + "\r\n";
    } else if (cmd == "list" && need(0)) {
        for (const Vm& vm : state.vms)
            out += std::string(PowerName(vm.power)) + "\t" + vm.path + "\r\n";
    } else if (cmd == "add-snapshot" && need(2)) {
        state.Register(args[1]).snapshots.push_back(args[2]);
        store.Save(state);
    } else if (cmd == "snapshots" && need(1)) {
        if (Vm* vm = state.Find(args[1]))
            for (const std::string& s : vm->snapshots)
                out += s + "\r\n";
    } else if (cmd == "inject" && args.size() >= 3) {
        Injection inj;
        inj.vm = args[1];
        inj.verb = Lower(args[2]);
        for (size_t i = 3; i < args.size(); ++i)
            if (!ApplyInjectionItem(inj, args[i])) return Fail("bad injection item: " + args[i]);
        std::erase_if(state.injections,
                      [&](const Injection& old) { return SameTarget(old, args[1], args[2]); });
        state.injections.push_back(inj);
        store.Save(state);
    } else if (cmd == "uninject" && need(2)) {
        if (!std::erase_if(state.injections,
                           [&](const Injection& old) { return SameTarget(old, args[1], args[2]); }))
            return Fail("no such injection: " + args[1] + " " + args[2]);
        store.Save(state);
    } else if (cmd == "injections" && need(0)) {
        State only;
        only.injections = state.injections;
        out = FormatState(only);
        out.erase(0, out.find('\n') + 1); // the header line
    } else if (cmd == "journal" && need(0)) {
        out = store.ReadJournal();
    } else if (cmd == "clear-journal" && need(0)) {
        store.ClearJournal();
    } else if (cmd == "guest-write" && need(4)) {
        if (const int failed = GuestWrite(state, args)) return failed;
    } else {
        return Fail("unknown command or wrong arguments: " + args[0] + "\r\n" + kCtlUsage);
    }
    WriteStd(STD_OUTPUT_HANDLE, out);
    return 0;
}

} // namespace vmsim
