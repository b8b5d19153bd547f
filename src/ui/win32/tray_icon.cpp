#include "ui/win32/tray_icon.h"

#include "common/win32/record_sizes.h"
#include "common/product.h"
#include "common/scope_exit.h"
#include "ui/win32/ids.h"
#include "ui/win32/person_can_see.h"

namespace tarnwick::win32 {

TrayIcon::TrayIcon() : taskbarCreated_(RegisterWindowMessageA("TaskbarCreated")), menu_(CreatePopupMenu()) {
    AppendMenuA(menu_.get(), MF_STRING, ids::IDM_RESTORE, "&Restore");
    AppendMenuA(menu_.get(), MF_STRING, ids::IDM_OPEN_LOG, "Open &log");
    AppendMenuA(menu_.get(), MF_STRING, ids::IDM_EXIT, "E&xit");
    SetMenuDefaultItem(menu_.get(), ids::IDM_RESTORE, FALSE);
}

void TrayIcon::Add(HWND owner, HICON icon) {
    record_ = NOTIFYICONDATAA{};
    // The first form of the record: understood by every shell since Windows 95.
    record_.cbSize = TrayRecordFirstSize;
    record_.hWnd = owner;
    record_.uID = ids::TRAY_ID;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = ids::WM_TRAY;
    record_.hIcon = icon;
    lstrcpynA(record_.szTip, "Tarnwick (Click for Config.)", sizeof record_.szTip);
    // Wanted from now on, even if the shell is not up yet: it is added again when the taskbar announces
    // itself.
    wanted_ = true;
    if (Shell_NotifyIconA(NIM_ADD, &record_)) UseCurrentProtocol();
}

// Without it the shell gives no keyboard to the icon: Win+B, the arrows, Enter and the menu key reach
// only icons of this protocol. A shell without it keeps sending the mouse messages alone, the same low
// word as before.
void TrayIcon::UseCurrentProtocol() {
    NOTIFYICONDATAA version = record_;
    version.cbSize = TrayRecordBalloonSize;
    version.uVersion = NOTIFYICON_VERSION_4;
    if (!Shell_NotifyIconA(NIM_SETVERSION, &version)) return;
    // This protocol hides the plain tip unless each change asks for it (NIF_SHOWTIP), and the tip is what
    // tells a person what the icon is, and where a backup is.
    showTip_ = NIF_SHOWTIP;
    ModifyTip(ShowingProgress() ? progress_ : std::string(record_.szTip));
}

void TrayIcon::Remove() {
    if (record_.cbSize) Shell_NotifyIconA(NIM_DELETE, &record_);
    wanted_ = false;
}

bool TrayIcon::OnTaskbarCreated(UINT message) {
    if (!taskbarCreated_ || message != taskbarCreated_ || !wanted_) return false;
    // Explorer restarted: without this the icon, and with it the way back to the window, is gone.
    // The protocol call shows the progress again, if any.
    if (Shell_NotifyIconA(NIM_ADD, &record_)) UseCurrentProtocol();
    return true;
}

void TrayIcon::ShowProgress(const std::string& text) {
    progress_ = text;
    ModifyTip(progress_);
}

void TrayIcon::EndProgress() {
    if (!ShowingProgress()) return;
    progress_.clear();
    ModifyTip(record_.szTip);
}

void TrayIcon::ModifyTip(const std::string& text) {
    // The first form's tip holds 63 characters; as for the balloon, only this change takes the longer
    // record, whose tip holds 127.
    NOTIFYICONDATAA tip = record_;
    tip.cbSize = TrayRecordBalloonSize;
    tip.uFlags = NIF_TIP | showTip_;
    lstrcpynA(tip.szTip, text.c_str(), sizeof tip.szTip);
    Shell_NotifyIconA(NIM_MODIFY, &tip);
}

void TrayIcon::ShowNotice(const std::string& text) {
    // The icon keeps its first form; only the balloon takes the longer record that carries it.
    NOTIFYICONDATAA balloon = record_;
    balloon.cbSize = TrayRecordBalloonSize;
    balloon.uFlags = NIF_INFO | showTip_;
    lstrcpynA(balloon.szInfo, text.c_str(), sizeof balloon.szInfo);
    lstrcpynA(balloon.szInfoTitle, ProgramName, sizeof balloon.szInfoTitle);
    balloon.dwInfoFlags = NIIF_WARNING;
    balloon.uTimeout = NoticeMilliseconds;
    if (Shell_NotifyIconA(NIM_MODIFY, &balloon)) noticeUntil_ = GetTickCount64() + NoticeMilliseconds;
}

bool TrayIcon::NoticeShowing() const {
    return noticeUntil_ != 0 && GetTickCount64() < noticeUntil_;
}

bool TrayIcon::DesktopShowsNotices() {
    return PersonCanSee() && FindWindowA("Shell_TrayWnd", nullptr) != nullptr;
}

int TrayIcon::TrackMenu(HWND owner, POINT at) {
    if (menuOpen_) return 0;
    const auto open = ScopedValue(menuOpen_, true);
    // Without the foreground the menu would not close on a click elsewhere.
    SetForegroundWindow(owner);
    // SM_MENUDROPALIGNMENT is set for a right hand on a pen screen: the menu opens to the left of the point,
    // where the hand does not cover it.
    const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    const int command =
        TrackPopupMenu(menu_.get(), align | TPM_TOPALIGN | TPM_RETURNCMD, at.x, at.y, 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
    return command;
}

} // namespace tarnwick::win32
