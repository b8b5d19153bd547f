// Plays the session manager of Windows 10 and 11 towards Tarnwick's window, one step per argument, as
// Microsoft documents it and as Wine's wineboot does not: a refused query is not followed by the abort,
// "Shut down anyway" sends WM_ENDSESSION(TRUE), and forced endings send ENDSESSION_CRITICAL. Each step
// appends "<step> <answer> <milliseconds until the handler returned>" to the file named first.
//   query:LPARAM    WM_QUERYENDSESSION with that lParam (hex); the answer is 1 (okayed) or 0 (refused)
//   end1:LPARAM     WM_ENDSESSION(TRUE)
//   end0:LPARAM     WM_ENDSESSION(FALSE), the abort that "Cancel" brings
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    std::string args = commandLine;
    const size_t space = args.find(' ');
    const std::string outFile = args.substr(0, space);
    args = space == std::string::npos ? "" : args.substr(space + 1);
    HWND target = FindWindowA("TfrmMain", nullptr);
    std::string out;
    while (!args.empty()) {
        const size_t next = args.find(' ');
        const std::string step = args.substr(0, next);
        args = next == std::string::npos ? "" : args.substr(next + 1);
        const size_t colon = step.find(':');
        const std::string verb = step.substr(0, colon);
        const LPARAM lParam = static_cast<LPARAM>(std::strtoul(step.c_str() + colon + 1, nullptr, 16));
        const UINT msg = verb == "query" ? WM_QUERYENDSESSION : WM_ENDSESSION;
        const WPARAM wParam = verb == "end1" ? TRUE : FALSE;
        DWORD_PTR answer = 0;
        const ULONGLONG begin = GetTickCount64();
        const bool sent =
            target && SendMessageTimeoutA(target, msg, wParam, lParam, SMTO_NORMAL, 90000, &answer);
        const ULONGLONG took = GetTickCount64() - begin;
        out += step + " " + (sent ? std::to_string(answer) : std::string("unsent")) + " " +
               std::to_string(took) + "\r\n";
    }
    HANDLE f =
        CreateFileA(outFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    DWORD done = 0;
    WriteFile(f, out.data(), static_cast<DWORD>(out.size()), &done, nullptr);
    CloseHandle(f);
    return target ? 0 : 2;
}
