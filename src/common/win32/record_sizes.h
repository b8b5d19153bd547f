#pragma once
// Sizes of the records the program hands to Windows with a size it chooses, or whose layout Windows
// reads at fixed offsets. Each is checked for both widths here, so a header or packing change that would
// make the shell or a control misread one fails the build of that program.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstddef>

namespace tarnwick::win32 {

// The tray record's first form (a 64-character tip, nothing after it): every shell since Windows 95
// takes it. Written out rather than through NOTIFYICONDATAA_V1_SIZE, which some headers do not give as a
// constant expression.
inline constexpr DWORD TrayRecordFirstSize = offsetof(NOTIFYICONDATAA, szTip) + 64;
// The second form adds the balloon fields (Windows 2000 and later).
inline constexpr DWORD TrayRecordBalloonSize = offsetof(NOTIFYICONDATAA, guidItem);
// A tooltip's tool without the field that comctl32 before version 6 refuses.
inline constexpr UINT ToolInfoOlderSize = offsetof(TTTOOLINFOA, lpReserved);

#ifdef _WIN64
static_assert(TrayRecordFirstSize == 104 && TrayRecordBalloonSize == 504);
static_assert(ToolInfoOlderSize == 64 && sizeof(TTTOOLINFOA) == 72);
static_assert(sizeof(OPENFILENAMEA) == 152 && sizeof(WNDCLASSEXA) == 80 && sizeof(MENUINFO) == 40);
static_assert(sizeof(STARTUPINFOA) == 104);
#else
static_assert(TrayRecordFirstSize == 88 && TrayRecordBalloonSize == 488);
static_assert(ToolInfoOlderSize == 44 && sizeof(TTTOOLINFOA) == 48);
static_assert(sizeof(OPENFILENAMEA) == 88 && sizeof(WNDCLASSEXA) == 48 && sizeof(MENUINFO) == 28);
static_assert(sizeof(STARTUPINFOA) == 68);
#endif
// The same in both widths: no pointers inside, and the dialog templates are packed to 2 bytes.
static_assert(sizeof(MONITORINFO) == 40 && sizeof(INITCOMMONCONTROLSEX) == 8);
static_assert(sizeof(VS_FIXEDFILEINFO) == 52 && sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18);

} // namespace tarnwick::win32
