#pragma once
// A VMware installation made of the tool simulator: product folders, registry keys, sample VMs, and
// the simulator's state and journal, all private to one test.
#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

enum class Product { None, Workstation, ServerVix, Server };

struct InstallOptions {
    Product product = Product::Workstation;
    bool trailingBackslash = true;
    bool dwordInstallPath = false;
    bool withVmwareExe = true;
    bool withTool = true;
    REGSAM view = KEY_WOW64_32KEY; // where 32-bit VMware registers on 64-bit Windows
};

class VmwareInstall {
  public:
    explicit VmwareInstall(const std::string& root, const InstallOptions& options = {});
    ~VmwareInstall();
    VmwareInstall(const VmwareInstall&) = delete;
    VmwareInstall& operator=(const VmwareInstall&) = delete;

    // The product's install folder, with its trailing backslash.
    const std::string& InstallDir() const { return installDir_; }
    const std::string& Home() const { return home_; }

    // A VM folder with a .vmx and a few files; returns the .vmx path.
    std::string MakeVm(const std::string& folder, const std::string& name, bool registered = true);
    // Runs "vmsim --ctl ..." and returns its output.
    std::string Ctl(const std::string& args) const;
    std::string State(const std::string& vmx) const;
    // Journal lines, each split into its tab-separated fields, without the time and pid.
    std::vector<std::vector<std::string>> Journal() const;
    // The calls as role and arguments, without the executable and the folder.
    std::vector<std::vector<std::string>> Calls() const;
    // When each journal line was written, in seconds since the start of its day.
    std::vector<double> CallTimes() const;

  private:
    std::string root_, installDir_, home_, vmsim_;
};

// Removes both products' keys from both registry views.
void RemoveVmwareKeys();

} // namespace e2e
