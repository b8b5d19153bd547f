#pragma once
// The notification-area icon and its menu. It comes back when Explorer restarts.
#include <windows.h>
#include <shellapi.h>

#include "common/win32/handles.h"

#include <string>

namespace tarnwick::win32 {

class TrayIcon {
  public:
    TrayIcon();

    // owner takes the icon's messages as ids::WM_TRAY, in the current protocol (NOTIFYICON_VERSION_4) where
    // the shell has it: the event in the low word of lParam, the icon's anchor point in wParam.
    void Add(HWND owner, HICON icon);
    void Remove();
    // Puts the icon back when message announces a restarted taskbar and the icon is wanted; true when
    // the message was that announcement and was handled.
    bool OnTaskbarCreated(UINT message);
    // The menu at the point (screen coordinates), over owner; the chosen item's id, or 0. It opens
    // once at a time: asked again while it is open (the shell's WM_CONTEXTMENU after the right press that
    // opened it), it gives 0.
    int TrackMenu(HWND owner, POINT at);
    bool Added() const { return wanted_; }

    // A balloon with a warning sign over the icon, which must be added. It counts as showing until the
    // shell says it has gone, or for NoticeMilliseconds when the shell never says.
    void ShowNotice(const std::string& text);
    bool NoticeShowing() const;
    void NoticeEnded() { noticeUntil_ = 0; }
    static constexpr DWORD NoticeMilliseconds = 10000;
    // A person can see us (PersonCanSee) and the desktop has a notification area to show a notice in.
    static bool DesktopShowsNotices();

    // While a long run shows where it is, that is the icon's tip, of up to 127 characters; then its own.
    void ShowProgress(const std::string& text);
    void EndProgress();
    bool ShowingProgress() const { return !progress_.empty(); }

  private:
    void UseCurrentProtocol();
    void ModifyTip(const std::string& text);

    UINT taskbarCreated_ = 0;
    bool wanted_ = false;
    NOTIFYICONDATAA record_{};
    UniqueMenu menu_;
    bool menuOpen_ = false;
    UINT showTip_ = 0; // NIF_SHOWTIP once the shell took the current protocol
    ULONGLONG noticeUntil_ = 0;
    std::string progress_;
};

} // namespace tarnwick::win32
