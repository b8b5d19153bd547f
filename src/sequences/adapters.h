#pragma once
// The sequences' view of the control list, the hypervisor tool and the backup options.
#include "config/config_store.h"
#include "config/control_list.h"
#include "hypervisor/hypervisor.h"
#include "sequences/ports.h"

namespace tarnwick {

class ControlListPort final : public ControlListView {
public:
    explicit ControlListPort(ControlList& list) : list_(list) {}
    int Count() const override { return static_cast<int>(list_.Count()); }
    std::string Text(int index) const override { return list_.Text(static_cast<size_t>(index)); }
    bool Enabled(int index) const override { return list_.Enabled(static_cast<size_t>(index)); }
    void ReplaceText(int index, const std::string& text) override { list_.ReplaceText(static_cast<size_t>(index), text); }
    int SelectedIndex() const override {
        const auto s = list_.Selection();
        return s ? static_cast<int>(*s) : -1;
    }
    int FindText(const std::string& text) const override;

private:
    ControlList& list_;
};

class HypervisorPort final : public VmOperations {
public:
    explicit HypervisorPort(Hypervisor& hypervisor) : hypervisor_(hypervisor) {}
    bool ExecVmCommand(const std::string& verb, const std::string& vmPath) override {
        return hypervisor_.ExecVmCommand(verb, vmPath);
    }
    std::vector<std::string> ListRunningVms() override {
        std::vector<std::string> running;
        hypervisor_.ListRunningVms(running);
        return running;
    }

private:
    Hypervisor& hypervisor_;
};

class OptionsPort final : public BackupOptions {
public:
    explicit OptionsPort(const ConfigStore& config) : config_(config) {}
    bool BackUpAllRunning() const override { return config_.Options().bkpAll; }
    bool UseSnapshot() const override { return config_.Options().useSnapshot; }

private:
    const ConfigStore& config_;
};

} // namespace tarnwick
