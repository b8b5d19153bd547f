#pragma once
// Every Hypervisor of a run is made here, from the tool start-up settled on: the tray copy's and a
// /BKP run's alike get the user's tool time limit and this process's capture files, so neither can
// run a tool under another limit or read the other's output.
#include "common/services.h"
#include "config/control_list.h"
#include "hypervisor/capture_file.h"
#include "hypervisor/hypervisor.h"
#include "hypervisor/vmware_tools.h"

namespace tarnwick {

class ToolSetup {
  public:
    // The limit is read from list's options before each run, so a save or reload applies at once.
    ToolSetup(VmwareTools tools, CaptureFiles& captures, Dialogs& dialogs, Processes& processes,
              FileSystem& files, const ControlList& list)
        : tools_(std::move(tools)), captures_(captures), dialogs_(dialogs), processes_(processes),
          files_(files), list_(list) {}

    const VmwareTools& Tools() const { return tools_; }
    // One for each log the runs report to.
    Hypervisor Make(Reporter& reporter) const {
        return Hypervisor(HypervisorServices{tools_, captures_, reporter, dialogs_, processes_, files_,
                                             [&list = list_] { return ToolTimeoutSeconds(list.Options()); }});
    }

  private:
    VmwareTools tools_;
    CaptureFiles& captures_;
    Dialogs& dialogs_;
    Processes& processes_;
    FileSystem& files_;
    const ControlList& list_;
};

} // namespace tarnwick
