#pragma once
// Control ids, timer ids and message numbers of the main window, in one place.
#include <windows.h>

namespace tarnwick::win32::ids {

// The tray icon's callback message and id, fixed so other tools can address the icon.
constexpr UINT WM_TRAY = WM_USER + 1; // 1025
constexpr UINT TRAY_ID = 100;
// Posted by QuitApp; the event loop ends when it takes it.
constexpr UINT WM_APP_END = WM_APP + 1;

constexpr int IDC_LIST_TITLE = 1001;
constexpr int IDC_ABOUT = 1002;
constexpr int IDC_CONTROL_LIST = 1003;
constexpr int IDC_ENABLED_LEGEND = 1004; // a check box that only explains the list's check marks
constexpr int IDC_TOOLBAR = 1005;
constexpr int IDC_WIN_START = 1006;
constexpr int IDC_FORGET = 1007;
constexpr int IDC_SAVE = 1008;
constexpr int IDC_BKP_ALL = 1009;
constexpr int IDC_USE_SNAPSHOT = 1010;
constexpr int IDC_TOOL_DIR_TITLE = 1011;
constexpr int IDC_TOOL_DIR = 1012;
constexpr int IDC_RESUME_OTHERS = 1013;

// Toolbar buttons.
constexpr int IDC_ADD_FILE = 1101;
constexpr int IDC_ADD_RUNNING = 1102;
constexpr int IDC_ADD_DELAY = 1103;
constexpr int IDC_ADD_PROMPT = 1104;
constexpr int IDC_DELETE = 1105;
constexpr int IDC_MOVE_UP = 1106;
constexpr int IDC_MOVE_DOWN = 1107;
constexpr int IDC_LAUNCH = 1108;
constexpr int IDC_ADD_WAIT = 1109;

// Tray menu.
constexpr int IDM_RESTORE = 1201;
constexpr int IDM_EXIT = 1202;
constexpr int IDM_OPEN_LOG = 1203;

// An entry's menu of stop actions.
constexpr int IDM_STOP_SUSPEND = 1211;
constexpr int IDM_STOP_SHUT_DOWN = 1212;
constexpr int IDM_STOP_LEAVE = 1213;

// Hides the window a second after a /START run has started the list.
constexpr UINT_PTR HIDE_TIMER = 1;
// The moment after a refused WM_QUERYENDSESSION.
constexpr UINT_PTR REFUSAL_TIMER = 2;

} // namespace tarnwick::win32::ids
