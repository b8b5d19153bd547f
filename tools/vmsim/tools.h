#pragma once
// The three VMware tools the simulator stands in for, as functions from (state, arguments) to an answer.
#include "store.h"

#include <string>
#include <vector>

namespace vmsim {

enum class Role { Vmrun, VmwareCmd, Vmware };
const char* RoleName(Role role); // "vmrun", "vmware-cmd", "vmware"

struct Answer {
    std::string out;
    std::string err;
    unsigned long exitCode = 0;
    bool changed = false; // the state must be saved
};

// What a call acts on, for choosing an injection: the verb in lower case ("list", "-l", "open" for
// vmware.exe) and the VM or Team path, empty when the call names none.
struct Target {
    std::string verb;
    std::string vm;
};
Target TargetOf(Role role, const std::vector<std::string>& args);

Answer RunVmrun(State& state, const std::vector<std::string>& args);
Answer RunVmwareCmd(State& state, const std::vector<std::string>& args);
Answer RunVmware(State& state, const std::vector<std::string>& args);
Answer Act(Role role, State& state, const std::vector<std::string>& args);

// How long a soft stop of a running VM waits for its guest before it powers off (outside the lock, as a
// delay does); 0 for any other call.
unsigned long SoftStopWaitMs(Role role, State& state, const std::vector<std::string>& args);

// The best injection for a call, or nullptr. A named VM beats "*", and "role:verb" beats "verb" beats "*".
Injection* FindInjection(State& state, Role role, const Target& target);

bool IsTeam(const std::string& path);
// The .vmx paths a Team file lists, relative ones taken from the Team file's folder.
std::vector<std::string> ReadTeam(const std::string& path);

int RunCtl(const std::vector<std::string>& args);

} // namespace vmsim
