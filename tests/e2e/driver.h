#pragma once
// Acts like a user on a running Tarnwick: starts it, finds its windows, presses, reads what it shows.
#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// Paths handed over on the command line.
struct Config {
    std::string tarnwickExe; // the built program, copied into a fresh folder per test
    std::string toolsDir;    // build folder of the simulator and other tools
    std::string smallFsDir;  // a file system of 1 MiB mounted for the test run, when the test command could
    std::string installer;   // the release's setup.exe
};
Config& Settings();

// Linux paths from CTest arrive as Unix paths; Wine maps them through drive Z:.
std::string ToWindowsPath(const std::string& path);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// A fresh folder holding a copy of Tarnwick.exe; removed afterwards.
class Workspace {
  public:
    Workspace();
    ~Workspace();
    const std::string& Dir() const { return dir_; } // with trailing backslash
    std::string Exe() const { return dir_ + "Tarnwick.exe"; }
    std::string Log() const { return ReadFileBytes(dir_ + "Tarnwick.log"); }
    std::string LogPath() const { return dir_ + "Tarnwick.log"; }
    std::string Config() const { return ReadFileBytes(dir_ + "Tarnwick.ini"); }

  private:
    std::string dir_;
};

// Waits until pred() holds or the time is up; true when it held.
bool WaitFor(const std::function<bool()>& pred, Duration timeout = 15s, Duration step = 50ms);

class Process {
  public:
    // Starts a program from its whole command line (program path included) and, unless told not to,
    // waits until it is ready for input, as a user's double-click would. A desktop ("station\\desktop")
    // and a current directory may be given; empty: the driver's own.
    explicit Process(const std::string& commandLine, bool waitUntilIdle = true,
                     const std::string& desktop = "", const std::string& currentDir = "");
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    DWORD Id() const { return pi_.dwProcessId; }
    HANDLE Handle() const { return pi_.hProcess; }
    bool Running() const;
    // Exit code, or nullopt when it has not ended in time.
    std::optional<DWORD> WaitExit(Duration timeout = 15s) const;
    void Kill();

  private:
    PROCESS_INFORMATION pi_{};
};

// Top-level windows of a process with a given class ("#32770" for message boxes), visible ones only
// unless asked otherwise.
std::vector<HWND> WindowsOf(DWORD pid, const char* className, bool visibleOnly = true);
HWND WaitWindow(DWORD pid, const char* className, const std::string& title = "", Duration timeout = 15s);

std::string WindowText(HWND hwnd); // through WM_GETTEXT, which crosses processes
std::string MessageBoxText(HWND box);
// Clicks a button of a dialog by its caption ("OK", "&Yes").
bool ClickButton(HWND dialog, const std::string& caption);

// Tooltip texts of the notification area's icons (read out of explorer). Wine's shell keeps the
// tooltip of a removed icon, so a new icon shows as one more tip, and removal is asked of the shell.
std::vector<std::string> TrayTips();
int CountTrayTips(const std::string& tip);
bool TrayIconRegistered(HWND owner, UINT id);

std::string Utf8ToAnsi(const std::wstring& w);

// Running processes whose executable has this file name (any letter case).
int CountProcesses(const std::string& exeName);

} // namespace e2e

namespace e2e {

// Clicks a toolbar button or a button of the main window the way the control reports it.
void PressCommand(HWND main, int id);
// A real click on a child control (check box, button).
void ClickControl(HWND main, int id);
// Sets the check mark of a list view line from outside, which the owner sees as a user's toggle.
bool SetListCheck(HWND list, int index, bool checked);
bool ListCheck(HWND list, int index);
int ListCount(HWND list);
std::string ListText(HWND list, int index, int column = 0);
bool SelectListLine(HWND list, int index);
// The first child of a class, searched through the whole tree.
HWND FindDescendant(HWND parent, const char* className);

// Real input, as the hardware gives it (SendInput): the pointer to the middle of a window, a left click
// there, a key with or without Alt.
void PointAt(HWND window);
void ClickWithMouse(HWND window);
// A right click, with real input, on the text of a list view line.
void RightClickListLine(HWND list, int index);
void PressKey(WORD key, bool withAlt = false, bool withShift = false);
// Brings a window of the program to the front, as a click on its caption would.
bool BringToFront(HWND window);
// The window that has the keyboard focus in the thread of window, or null.
HWND FocusOf(HWND window);
// The text of the program's tooltip that shows now; empty when none shows.
std::string ShownTooltip(DWORD pid);

} // namespace e2e

namespace e2e {

// Lines of Tarnwick.log without their stamps; continuation lines of a multi-line entry as they are.
std::vector<std::string> LogMessages(const std::string& log);

// Opens the tray menu with a right press on the icon and chooses an item by its access key.
void ChooseFromTrayMenu(HWND main, char key);

// Ends the program through the tray menu: a right press opens it, "x" chooses Exit, and the question
// about suspending is answered. True when the program ended.
bool ExitThroughTray(const Process& p, HWND main, bool suspend = false, Duration timeout = 15s);

// Waits for a run to end, closing its failure notice as soon as the run's icon is up. A notice holds the
// end of a run until the shell reports the balloon gone, as Windows does when the user closes it; Wine's
// shell never reports it, and the program would sit out the notice's whole time (10 s). For scenarios in
// which the notice is not what is tested.
std::optional<DWORD> WaitExitClosingNotice(const Process& p, Duration timeout = 60s);

} // namespace e2e
