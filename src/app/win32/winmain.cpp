#include <windows.h>

#include "app/win32/tarnwick_app.h"

#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    tarnwick::win32::TarnwickApp app(instance, std::string(path, n), GetCommandLineA());
    return app.Run();
}
