#pragma once
// The machine's processes through psapi and the process tokens, for the single-instance check.
#include "app/single_instance.h"

#include <windows.h>

namespace tarnwick::win32 {

class Win32ProcessList final : public ProcessList {
  public:
    // appWindow: the application's window, whose process is ours; null means the calling process.
    explicit Win32ProcessList(HWND appWindow = nullptr) : appWindow_(appWindow) {}

    uint32_t OwnProcessId() override;
    std::optional<uint32_t> EnumProcessIds(std::span<uint32_t> ids) override;
    std::unique_ptr<InspectedProcess> Open(uint32_t pid) override;

  private:
    HWND appWindow_;
};

// The whole check for the running program: what start-up calls.
bool CheckOtherInstance(HWND appWindow, Dialogs& dialogs);

} // namespace tarnwick::win32
