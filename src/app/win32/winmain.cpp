#include <windows.h>

#include "app/win32/tarnwick_app.h"
#include "common/win32/module.h"
#include "common/win32/system_code_page.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    tarnwick::win32::InstallSystemCodePage();
    tarnwick::win32::TarnwickApp app(instance, tarnwick::win32::ModuleFileName(), GetCommandLineA());
    return app.Run();
}
