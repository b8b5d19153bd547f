#include "hypervisor/discovery.h"

namespace tarnwick {

std::string Discovery::FindVmware() {
    std::string toolDir = ProbeProduct("Workstation");
    if (toolDir.empty()) toolDir = ProbeProduct("Server");
    return toolDir;
}

// A standard user cannot open HKLM keys for writing, so the keys are opened for reading only; and a
// product may have registered in either registry view, the 32-bit one being the usual.
std::string Discovery::InstallPath(const std::string& product) {
    const std::string key = "SOFTWARE\\VMware, Inc.\\VMware " + product;
    for (const RegistryView view : {RegistryView::Bits32, RegistryView::Bits64}) {
        std::optional<std::string> path = registry_.ReadMachineString(view, key, "InstallPath");
        if (path && !path->empty()) return *path;
    }
    return std::string();
}

std::string Discovery::ProbeProduct(const std::string& product) {
    const std::string installDir = InstallPath(product);
    if (installDir.empty()) return std::string();

    // The directory is used as stored: without its trailing backslash nothing below is found.
    const std::string vmwareExePath = installDir + "vmware.exe";
    if (!files_.FileExists(vmwareExePath)) {
        reporter_.ShowStatus("ERROR: " + vmwareExePath + " not found.");
        return std::string();
    }

    state_.UseVmrun = true;
    std::string toolDir = installDir;
    if (product == "Server") {
        // VIX installs beside Server; the ".." stays as text, it is shown to the user as it is.
        if (files_.FileExists(installDir + "..\\VMware VIX\\vmrun.exe")) {
            toolDir += "..\\VMware VIX\\";
        } else {
            state_.UseVmrun = false;
            if (hooks_.DisableSnapshot) hooks_.DisableSnapshot();
        }
    }
    state_.ToolPath = toolDir + (state_.UseVmrun ? "vmrun.exe" : "vmware-cmd.bat");
    if (files_.FileExists(state_.ToolPath)) return toolDir;

    const std::string message = "ERROR: " + state_.ToolPath + " not found. Terminating.";
    reporter_.ShowStatus(message);
    dialogs_.ShowMessage(message);
    if (hooks_.QuitApp) hooks_.QuitApp(); // only asks to end; start-up runs on
    return std::string();
}

} // namespace tarnwick
