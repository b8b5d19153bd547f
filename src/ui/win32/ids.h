#pragma once
// Control ids, timer ids and message numbers of the main window, in one place.
#include <windows.h>

namespace tarnwick::ids {

// The tray icon's callback message and id, fixed so other tools can address the icon.
constexpr UINT WM_TRAY = WM_USER + 1; // 1025
constexpr UINT TRAY_ID = 100;
// Posted by QuitApp; the event loop ends when it takes it.
constexpr UINT WM_APP_END = WM_APP + 1;

constexpr int IDC_LABEL1 = 1001;
constexpr int IDC_BUTABOUT = 1002;
constexpr int IDC_LBVMS = 1003;
constexpr int IDC_CHKENABLED = 1004;
constexpr int IDC_TOOLBAR = 1005;
constexpr int IDC_CHKWINSTART = 1006;
constexpr int IDC_BUTLOSE = 1007;
constexpr int IDC_BUTSAVE = 1008;
constexpr int IDC_CHKBKPALL = 1009;
constexpr int IDC_CHKSNAPSHOT = 1010;
constexpr int IDC_LABEL2 = 1011;
constexpr int IDC_LBLVMWAREDIR = 1012;

// Toolbar buttons.
constexpr int IDC_TBNEW = 1101;
constexpr int IDC_TBRUNNING = 1102;
constexpr int IDC_TBDELAY = 1103;
constexpr int IDC_TBPROMPT = 1104;
constexpr int IDC_TBDEL = 1105;
constexpr int IDC_TBUP = 1106;
constexpr int IDC_TBDN = 1107;
constexpr int IDC_TBLAUNCH = 1108;

// Tray menu.
constexpr int IDM_RESTORE = 1201;
constexpr int IDM_EXIT = 1202;

constexpr UINT_PTR TIMER1 = 1;

} // namespace tarnwick::ids
