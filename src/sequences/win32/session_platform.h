#pragma once
// Privileges, ExitWindowsEx and the shutdown block reason, for the session-end handlers.
#include <windows.h>

#include "sequences/ports.h"

namespace tarnwick::win32 {

class WinSessionPlatform final : public SessionPlatform {
  public:
    // The window that Windows names when it shows why the session is held.
    void SetWindow(HWND hwnd) { hwnd_ = hwnd; }

    bool SetPrivilege(const std::string& name, bool enable) override;
    bool ExitWindowsEx(uint32_t flags) override;
    bool CreateShutdownBlockReason(const std::string& reason) override;
    void DestroyShutdownBlockReason() override;

    // Be asked before ordinary programs, so the refusal comes before VMware's own windows are closed.
    static void AskToBeQueriedEarly();

  private:
    HWND hwnd_ = nullptr;
};

} // namespace tarnwick::win32
