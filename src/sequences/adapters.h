#pragma once
// The sequences' view of the control list and the hypervisor tool.
#include "config/control_list.h"
#include "hypervisor/hypervisor.h"
#include "sequences/ports.h"

namespace tarnwick {

class ControlListPort final : public ControlListView {
  public:
    explicit ControlListPort(ControlList& list) : list_(list) {}
    size_t Count() const override { return list_.Count(); }
    std::string Text(size_t index) const override { return list_.Text(index); }
    bool Enabled(size_t index) const override { return list_.Enabled(index); }
    StopAction Action(size_t index) const override { return list_.Action(index); }
    void ReplaceText(size_t index, const std::string& text) override { list_.ReplaceText(index, text); }
    std::optional<size_t> Selection() const override { return list_.Selection(); }
    std::optional<size_t> FindText(const std::string& text) const override;

  private:
    ControlList& list_;
};

class HypervisorPort final : public VmOperations {
  public:
    explicit HypervisorPort(Hypervisor& hypervisor) : hypervisor_(hypervisor) {}
    bool ExecVmCommand(const std::string& verb, const std::string& vmPath) override {
        return hypervisor_.ExecVmCommand(verb, vmPath);
    }
    bool ToolsRunning(const std::string& vmPath, uint32_t withinSeconds) override {
        return hypervisor_.ToolsRunning(vmPath, withinSeconds);
    }
    std::vector<bool> SuspendTogether(const std::vector<std::string>& vmPaths,
                                      uint32_t withinSeconds) override {
        return hypervisor_.SuspendTogether(vmPaths, withinSeconds);
    }
    uint64_t RunsEndedAtLimit() const override { return hypervisor_.RunsEndedAtLimit(); }
    std::optional<std::vector<std::string>> ListRunningVms() override {
        std::vector<std::string> running;
        if (!hypervisor_.ListRunningVms(running)) return std::nullopt;
        return running;
    }

  private:
    Hypervisor& hypervisor_;
};

} // namespace tarnwick
