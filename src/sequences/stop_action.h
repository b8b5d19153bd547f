#pragma once
// What the suspension does with one VM by the stop action of its entry: suspend it, have its guest shut
// it down (and suspend it when that does not happen in time), or leave it running. One blocking step per
// VM, so that a pass may run it for several VMs side by side.
#include "common/services.h"
#include "config/control_list.h"
#include "sequences/ports.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

struct VmStopServices {
    VmOperations& vms;
    Reporter& reporter;
    Processes& processes;
    // How long a guest may take to shut down, the soft stop's run included.
    uint32_t limitSeconds;
};

enum class VmStopEnd { Suspended, ShutDown, LeftRunning, Failed };

// Shows what it does in the status line (and so the log). A Team text is suspended whatever the action.
VmStopEnd StopVm(const VmStopServices& s, StopAction action, const std::string& text);

// The action the suspension applies to a VM, as the list holds it: Suspend for a VM not listed. secondPass:
// the VM was found running after the list's own pass, which has already dealt with the enabled entries;
// nullopt when that pass left it running on purpose.
std::optional<StopAction> ActionAtSuspension(const ControlListView& list, const std::string& vmPath,
                                             bool secondPass);

} // namespace tarnwick
