#pragma once
// Privileges, ExitWindowsEx and the shutdown block reason, for the session-end handlers.
#include <windows.h>

#include "sequences/ports.h"

namespace tarnwick::win32 {

class WinSessionPlatform final : public SessionPlatform {
  public:
    // The window that Windows names when it shows why the session is held, and whose timer of that id
    // calls SessionEnd::RefusalStood.
    void SetWindow(HWND hwnd, UINT_PTR refusalTimer) {
        hwnd_ = hwnd;
        refusalTimer_ = refusalTimer;
    }

    bool SetPrivilege(const std::string& name, bool enable) override;
    bool ExitWindowsEx(uint32_t flags) override;
    bool CreateShutdownBlockReason(const std::string& reason) override;
    void DestroyShutdownBlockReason() override;
    void CallBackAfterRefusal() override;

    // Be asked before ordinary programs, so the refusal comes before VMware's own windows are closed.
    static void AskToBeQueriedEarly();

  private:
    HWND hwnd_ = nullptr;
    UINT_PTR refusalTimer_ = 0;
};

} // namespace tarnwick::win32
