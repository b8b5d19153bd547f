#pragma once
// The notification-area icon and its menu. It comes back when Explorer restarts.
#include <windows.h>
#include <shellapi.h>

#include "common/win32/handles.h"

namespace tarnwick::win32 {

class TrayIcon {
  public:
    TrayIcon();

    // owner takes the icon's mouse messages as ids::WM_TRAY.
    void Add(HWND owner, HICON icon);
    void Remove();
    // Puts the icon back when message announces a restarted taskbar and the icon is wanted; true when
    // the message was that announcement and was handled.
    bool OnTaskbarCreated(UINT message);
    // The menu at the mouse pointer, over owner; the chosen item's id, or 0.
    int TrackMenu(HWND owner) const;

  private:
    UINT taskbarCreated_ = 0;
    bool wanted_ = false;
    NOTIFYICONDATAA record_{};
    UniqueMenu menu_;
};

} // namespace tarnwick::win32
