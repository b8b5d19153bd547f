#include "hypervisor/discovery.h"

namespace tarnwick {

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

VmwareProbe Discovery::Probe(const std::string& product) {
    VmwareProbe probe;
    const std::string installDir = InstallPath(product);
    if (installDir.empty()) return probe;

    // The directory is used as stored: without its trailing backslash nothing below is found.
    const std::string vmwareExePath = installDir + "vmware.exe";
    if (!files_.FileExists(vmwareExePath)) {
        probe.outcome = VmwareProbe::Outcome::ProgramMissing;
        probe.missingFile = vmwareExePath;
        return probe;
    }

    std::string toolDir = installDir;
    bool useVmrun = true;
    if (product == "Server") {
        // VIX installs beside Server; the ".." stays as text, it is shown to the user as it is.
        if (files_.FileExists(installDir + "..\\VMware VIX\\vmrun.exe"))
            toolDir += "..\\VMware VIX\\";
        else
            useVmrun = false;
    }
    probe.tools.useVmrun = useVmrun;
    probe.tools.toolPath = toolDir + (useVmrun ? "vmrun.exe" : "vmware-cmd.bat");
    if (files_.FileExists(probe.tools.toolPath)) {
        probe.outcome = VmwareProbe::Outcome::Found;
        probe.tools.toolDir = toolDir;
    } else {
        probe.outcome = VmwareProbe::Outcome::ToolMissing;
        probe.missingFile = probe.tools.toolPath;
    }
    return probe;
}

} // namespace tarnwick
