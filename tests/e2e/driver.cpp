#include "driver.h"

#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <thread>

namespace e2e {

Config& Settings() {
    static Config config;
    return config;
}

std::string ToWindowsPath(const std::string& path) {
    if (path.size() > 1 && path[0] == '/') {
        std::string p = "Z:" + path;
        for (char& c : p)
            if (c == '/') c = '\\';
        return p;
    }
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(h);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {
void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = dir + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + "\\");
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}
} // namespace

Workspace::Workspace() {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    dir_ = std::string(temp) + "tarnwick-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(counter++) + "\\";
    RemoveTree(dir_); // a folder of an earlier run under the same process id
    CreateDirectoryA(dir_.c_str(), nullptr);
    CopyFileA(ToWindowsPath(Settings().tarnwickExe).c_str(), Exe().c_str(), FALSE);
}

Workspace::~Workspace() {
    RemoveTree(dir_);
}

bool WaitFor(const std::function<bool()>& pred, Duration timeout, Duration step) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(step);
    }
}

Process::Process(const std::string& commandLine, bool waitUntilIdle, const std::string& desktop,
                 const std::string& currentDir) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string station = desktop;
    if (!station.empty()) si.lpDesktop = station.data();
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi_))
        pi_ = PROCESS_INFORMATION{};
    if (pi_.hProcess && waitUntilIdle) WaitForInputIdle(pi_.hProcess, 10000);
}

Process::~Process() {
    if (pi_.hProcess) {
        if (Running()) Kill();
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
}

bool Process::Running() const {
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitExit(Duration timeout) const {
    if (!pi_.hProcess) return std::nullopt;
    if (WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

void Process::Kill() {
    if (pi_.hProcess) {
        TerminateProcess(pi_.hProcess, 99);
        WaitForSingleObject(pi_.hProcess, 5000);
    }
}

namespace {
struct EnumState {
    DWORD pid;
    const char* cls;
    bool visibleOnly;
    std::vector<HWND> found;
};
BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<EnumState*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid) return TRUE;
    if (s->visibleOnly && !IsWindowVisible(hwnd)) return TRUE;
    char cls[256] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (!s->cls || lstrcmpiA(cls, s->cls) == 0) s->found.push_back(hwnd);
    return TRUE;
}
} // namespace

std::vector<HWND> WindowsOf(DWORD pid, const char* className, bool visibleOnly) {
    EnumState s{pid, className, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitWindow(DWORD pid, const char* className, const std::string& title, Duration timeout) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND h : WindowsOf(pid, className))
                if (title.empty() || WindowText(h) == title) {
                    found = h;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

int CountProcesses(const std::string& exeName) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry))
        if (lstrcmpiA(entry.szExeFile, exeName.c_str()) == 0) ++count;
    CloseHandle(snap);
    return count;
}

std::string Utf8ToAnsi(const std::wstring& w) {
    if (w.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string WindowText(HWND hwnd) {
    // Only the wide form is converted reliably between processes.
    std::wstring buf(70000, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                             SMTO_ABORTIFHUNG, 5000, &got))
        return {};
    buf.resize(got);
    return Utf8ToAnsi(buf);
}

std::string MessageBoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    if (text) return WindowText(text);
    return {};
}

bool ClickButton(HWND dialog, const std::string& caption) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = {};
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Button") == 0 && WindowText(child) == caption) {
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                         reinterpret_cast<LPARAM>(child));
            return true;
        }
    }
    return false;
}

namespace {
BOOL CALLBACK CollectTooltip(HWND hwnd, LPARAM lp) {
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, TOOLTIPS_CLASSA) == 0) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

bool IsExplorer(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!p) return false;
    char path[MAX_PATH] = {};
    GetModuleFileNameExA(p, nullptr, path, MAX_PATH);
    CloseHandle(p);
    const std::string s(path);
    const size_t cut = s.find_last_of('\\');
    return lstrcmpiA(s.substr(cut == std::string::npos ? 0 : cut + 1).c_str(), "explorer.exe") == 0;
}
} // namespace

std::vector<std::string> TrayTips() {
    // The shell keeps one tooltip per icon; read each tooltip's tools from inside explorer's memory.
    std::vector<HWND> tips;
    EnumWindows(CollectTooltip, reinterpret_cast<LPARAM>(&tips));
    std::vector<std::string> texts;
    for (HWND tip : tips) {
        DWORD pid = 0;
        GetWindowThreadProcessId(tip, &pid);
        if (!IsExplorer(pid)) continue;
        HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!p) continue;
        const SIZE_T textBytes = 1024 * sizeof(wchar_t);
        auto* remote = static_cast<char*>(VirtualAllocEx(p, nullptr, sizeof(TTTOOLINFOW) + textBytes,
                                                         MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (remote) {
            const LRESULT count = SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                TTTOOLINFOW ti{};
                ti.cbSize = sizeof ti;
                ti.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof(TTTOOLINFOW));
                std::wstring zero(1024, L'\0');
                WriteProcessMemory(p, remote, &ti, sizeof ti, nullptr);
                WriteProcessMemory(p, remote + sizeof(TTTOOLINFOW), zero.data(), textBytes, nullptr);
                if (!SendMessageW(tip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                                  reinterpret_cast<LPARAM>(remote)))
                    continue;
                std::wstring text(1024, L'\0');
                ReadProcessMemory(p, remote + sizeof(TTTOOLINFOW), text.data(), textBytes, nullptr);
                text.resize(wcsnlen(text.c_str(), 1023));
                texts.push_back(Utf8ToAnsi(text));
            }
            VirtualFreeEx(p, remote, 0, MEM_RELEASE);
        }
        CloseHandle(p);
    }
    return texts;
}

bool TrayIconRegistered(HWND owner, UINT id) {
    // Modifying nothing succeeds only for an icon the shell still holds.
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = owner;
    nid.uID = id;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

int CountTrayTips(const std::string& tip) {
    int n = 0;
    for (const std::string& t : TrayTips())
        if (t == tip) ++n;
    return n;
}

} // namespace e2e

namespace e2e {

void PressCommand(HWND main, int id) {
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void ClickControl(HWND main, int id) {
    PostMessageA(GetDlgItem(main, id), BM_CLICK, 0, 0);
}

namespace {

// Runs fn with a block of the list's process memory big enough for an LVITEM and a text buffer.
template <typename Fn> bool WithRemoteItem(HWND list, Fn fn) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!p) return false;
    const SIZE_T size = sizeof(LVITEMW) + 8192 * sizeof(wchar_t);
    auto* remote =
        static_cast<char*>(VirtualAllocEx(p, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    bool ok = false;
    if (remote) {
        ok = fn(p, remote);
        VirtualFreeEx(p, remote, 0, MEM_RELEASE);
    }
    CloseHandle(p);
    return ok;
}

} // namespace

bool SetListCheck(HWND list, int index, bool checked) {
    return WithRemoteItem(list, [&](HANDLE p, char* remote) {
        LVITEMW item{};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
        WriteProcessMemory(p, remote, &item, sizeof item, nullptr);
        return SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(remote)) != 0;
    });
}

bool SelectListLine(HWND list, int index) {
    return WithRemoteItem(list, [&](HANDLE p, char* remote) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        WriteProcessMemory(p, remote, &item, sizeof item, nullptr);
        return SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(remote)) != 0;
    });
}

bool ListCheck(HWND list, int index) {
    const LRESULT state =
        SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

int ListCount(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string ListText(HWND list, int index, int column) {
    std::string out;
    WithRemoteItem(list, [&](HANDLE p, char* remote) {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = 8192;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        WriteProcessMemory(p, remote, &item, sizeof item, nullptr);
        const LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(remote));
        std::wstring text(static_cast<size_t>(n), L'\0');
        ReadProcessMemory(p, remote + sizeof(LVITEMW), text.data(), static_cast<SIZE_T>(n) * sizeof(wchar_t),
                          nullptr);
        out = Utf8ToAnsi(text);
        return true;
    });
    return out;
}

namespace {
struct DescendantSearch {
    const char* cls;
    HWND found;
};
BOOL CALLBACK FindClassChild(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<DescendantSearch*>(lp);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, s->cls) == 0 && IsWindowVisible(hwnd)) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}
} // namespace

HWND FindDescendant(HWND parent, const char* className) {
    DescendantSearch s{className, nullptr};
    EnumChildWindows(parent, FindClassChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

namespace {
INPUT MouseInput(DWORD flags, POINT screen = {}) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        in.mi.dx = MulDiv(screen.x, 65535, w - 1);
        in.mi.dy = MulDiv(screen.y, 65535, h - 1);
    }
    return in;
}

POINT Middle(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

INPUT KeyInput(WORD key, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}
} // namespace

void PointAt(HWND window) {
    // Two moves, so that the window under the pointer sees a move even if the pointer was already there.
    POINT at = Middle(window);
    INPUT moves[2] = {MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, {at.x - 1, at.y}),
                      MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at)};
    SendInput(1, &moves[0], sizeof(INPUT));
    Sleep(50);
    SendInput(1, &moves[1], sizeof(INPUT));
    Sleep(50);
}

void ClickWithMouse(HWND window) {
    PointAt(window);
    INPUT click[2] = {MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)};
    SendInput(1, &click[0], sizeof(INPUT));
    Sleep(50);
    SendInput(1, &click[1], sizeof(INPUT));
    Sleep(100);
}

void RightClickListLine(HWND list, int index) {
    RECT line{};
    WithRemoteItem(list, [&](HANDLE p, char* remote) {
        line.left = LVIR_LABEL;
        WriteProcessMemory(p, remote, &line, sizeof line, nullptr);
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
        return ReadProcessMemory(p, remote, &line, sizeof line, nullptr) != 0;
    });
    POINT at{line.left + 8, (line.top + line.bottom) / 2};
    ClientToScreen(list, &at);
    // A left click on the line first: in the whole e2e run, Wine was seen to drop the first right press on
    // a window that had just come up.
    INPUT steps[5] = {MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at),
                      MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP),
                      MouseInput(MOUSEEVENTF_RIGHTDOWN), MouseInput(MOUSEEVENTF_RIGHTUP)};
    for (INPUT& step : steps) {
        SendInput(1, &step, sizeof(INPUT));
        Sleep(50);
    }
    Sleep(200);
}

void PressKey(WORD key, bool withAlt, bool withShift) {
    std::vector<INPUT> keys;
    if (withAlt) keys.push_back(KeyInput(VK_MENU, false));
    if (withShift) keys.push_back(KeyInput(VK_SHIFT, false));
    keys.push_back(KeyInput(key, false));
    keys.push_back(KeyInput(key, true));
    if (withShift) keys.push_back(KeyInput(VK_SHIFT, true));
    if (withAlt) keys.push_back(KeyInput(VK_MENU, true));
    SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
    Sleep(100);
}

bool BringToFront(HWND window) {
    SetForegroundWindow(window);
    return WaitFor([&] { return GetForegroundWindow() == window; }, 5s);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::string ShownTooltip(DWORD pid) {
    for (HWND tip : WindowsOf(pid, TOOLTIPS_CLASSA))
        if (const std::string text = WindowText(tip); !text.empty()) return text;
    return {};
}

} // namespace e2e

namespace e2e {

std::vector<std::string> LogMessages(const std::string& log) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find("\r\n", pos);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(pos, end - pos);
        const size_t dash = line.find(" - ");
        out.push_back(dash == std::string::npos || dash > 30 ? line : line.substr(dash + 3));
        pos = end + 2;
    }
    return out;
}

void ChooseFromTrayMenu(HWND main, char key) {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    PostMessageA(main, WM_USER + 1, 100, WM_RBUTTONDOWN);
    // The menu's own loop takes the key, once it is up: on a busy machine that is more than a moment.
    WaitFor([&] { return !WindowsOf(pid, "#32768").empty(); }, 10s);
    Sleep(100);
    keybd_event(static_cast<BYTE>(key), 0, 0, 0);
    keybd_event(static_cast<BYTE>(key), 0, KEYEVENTF_KEYUP, 0);
}

bool ExitThroughTray(const Process& p, HWND main, bool suspend, Duration timeout) {
    ChooseFromTrayMenu(main, 'X');
    HWND question = WaitWindow(p.Id(), "#32770", "Confirm", 10s);
    if (!question) return false;
    ClickButton(question, suspend ? "&Yes" : "&No");
    return p.WaitExit(timeout).has_value();
}

std::optional<DWORD> WaitExitClosingNotice(const Process& p, Duration timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    do {
        if (const auto code = p.WaitExit(100ms)) return code;
        // Windows reports a balloon closed by the user as timed out. Without a notice this changes nothing.
        for (HWND main : WindowsOf(p.Id(), "TfrmMain", false))
            if (TrayIconRegistered(main, 100)) PostMessageA(main, WM_USER + 1, 100, NIN_BALLOONTIMEOUT);
    } while (std::chrono::steady_clock::now() < until);
    return p.WaitExit(0ms);
}

} // namespace e2e
