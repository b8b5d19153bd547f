#include <windows.h>

#include "app/win32/tarnwick_app.h"
#include "common/win32/module.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    tarnwick::win32::TarnwickApp app(instance, tarnwick::win32::ModuleFileName(), GetCommandLineA());
    return app.Run();
}
