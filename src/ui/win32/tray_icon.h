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

    // owner takes the icon's mouse messages as ids::WM_TRAY.
    void Add(HWND owner, HICON icon);
    void Remove();
    // Puts the icon back when message announces a restarted taskbar and the icon is wanted; true when
    // the message was that announcement and was handled.
    bool OnTaskbarCreated(UINT message);
    // The menu at the mouse pointer, over owner; the chosen item's id, or 0.
    int TrackMenu(HWND owner) const;
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
    void ModifyTip(const std::string& text);

    UINT taskbarCreated_ = 0;
    bool wanted_ = false;
    NOTIFYICONDATAA record_{};
    UniqueMenu menu_;
    ULONGLONG noticeUntil_ = 0;
    std::string progress_;
};

} // namespace tarnwick::win32
