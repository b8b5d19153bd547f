// A program that refuses every logoff and shutdown, as some editors with unsaved work do. It counts the
// queries it refused in the file named on its command line.
#include <windows.h>

#include <string>

static std::string g_countFile;
static int g_refused = 0;

static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_QUERYENDSESSION) {
        ++g_refused;
        HANDLE f = CreateFileA(g_countFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            const std::string text = std::to_string(g_refused) + "\r\n";
            DWORD done = 0;
            WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
            CloseHandle(f);
        }
        return FALSE;
    }
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(h, m, w, l);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_countFile = commandLine;
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = "SessionRefuser";
    RegisterClassA(&wc);
    HWND w = CreateWindowA("SessionRefuser", "Unsaved work", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                           nullptr, instance, nullptr);
    ShowWindow(w, SW_SHOWNOACTIVATE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
