#pragma once
// Finds the installed VMware product and settles which command tool the rest of the run uses.
#include "common/main_state.h"
#include "common/services.h"
#include "hypervisor/registry.h"

#include <functional>
#include <string>
#include <utility>

namespace tarnwick {

// What discovery asks of the window and the application.
struct DiscoveryHooks {
    std::function<void()> QuitApp;
    // Disables chkSnapshot and clears its check mark: without vmrun there are no snapshots.
    std::function<void()> DisableSnapshot;
};

class Discovery {
  public:
    Discovery(MainState& state, Reporter& reporter, Dialogs& dialogs, FileSystem& files,
              RegistryReader& registry, DiscoveryHooks hooks)
        : state_(state), reporter_(reporter), dialogs_(dialogs), files_(files), registry_(registry),
          hooks_(std::move(hooks)) {}

    // The tool directory of Workstation, else of Server; empty when neither is usable. Sets UseVmrun
    // and ToolPath. A non-string "InstallPath" throws RegistryDataError.
    std::string FindVmware();
    // The tool directory for "Workstation" or "Server", or empty.
    std::string ProbeProduct(const std::string& product);

  private:
    std::string InstallPath(const std::string& product);

    MainState& state_;
    Reporter& reporter_;
    Dialogs& dialogs_;
    FileSystem& files_;
    RegistryReader& registry_;
    DiscoveryHooks hooks_;
};

} // namespace tarnwick
