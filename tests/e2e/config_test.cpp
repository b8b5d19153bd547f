// Building the control list in the window, saving it, forgetting changes, and loading it again.
#include "driver.h"
#include "vmware_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

using namespace e2e;

namespace {

constexpr int kList = 1003, kWinStart = 1006, kForget = 1007, kSave = 1008, kBkpAll = 1009,
              kResumeOthers = 1013;
constexpr int kNew = 1101, kRunning = 1102, kDelay = 1103, kPrompt = 1104, kUp = 1106, kWait = 1109;
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::string> RunValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    char data[2048] = {};
    DWORD size = sizeof data, type = 0;
    const LONG r = RegQueryValueExA(key, "Tarnwick", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::string(data);
}

void EnsureRunKey() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegDeleteValueA(key, "Tarnwick");
    RegCloseKey(key);
}

void SetRunValue(const std::string& value) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kRunKey, "Tarnwick", REG_SZ, value.c_str(),
                    static_cast<DWORD>(value.size() + 1));
}

bool Checked(HWND main, int box) {
    return SendMessageA(GetDlgItem(main, box), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND WaitDialog(const Process& p, const std::string& title) {
    return WaitWindow(p.Id(), "#32770", title, 10s);
}

// Types into the dialog's edit box and presses OK.
void Answer(HWND dialog, const std::string& text) {
    HWND edit = FindDescendant(dialog, "Edit");
    ASSERT_TRUE(edit);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

std::vector<std::pair<std::string, bool>> Lines(HWND list) {
    std::vector<std::pair<std::string, bool>> out;
    for (int i = 0; i < ListCount(list); ++i)
        out.emplace_back(ListText(list, i), ListCheck(list, i));
    return out;
}

} // namespace

TEST(Config, UserBuildsTheListSavesForgetsAndReloads) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    const std::string alpha = vmware.MakeVm("Alpha", "Alpha");
    const std::string beta = vmware.MakeVm("Beta Web", "Beta Web");
    vmware.Ctl("set-state \"" + alpha + "\" running");
    vmware.Ctl("set-state \"" + beta + "\" running");
    const std::string team = ws.Dir() + "Lab Team.vmtm";
    WriteFileBytes(team, alpha + "\r\n");
    EnsureRunKey();

    auto p = std::make_unique<Process>("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p->Id(), "TfrmMain");
    ASSERT_TRUE(main);
    HWND list = GetDlgItem(main, kList);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, kSave)));

    // A Team through the open-file dialog.
    PressCommand(main, kNew);
    HWND open = WaitDialog(*p, "Open");
    ASSERT_TRUE(open) << "no open-file dialog";
    Answer(open, team);
    ASSERT_TRUE(WaitFor([&] { return ListCount(list) == 1; }, 10s));
    // The same file again, in other letter case, adds nothing.
    PressCommand(main, kNew);
    open = WaitDialog(*p, "Open");
    ASSERT_TRUE(open);
    std::string upper = team;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    Answer(open, upper);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(open); }, 10s));

    // The running VMs, in the tool's order.
    PressCommand(main, kRunning);
    ASSERT_TRUE(WaitFor([&] { return ListCount(list) == 3; }, 20s));

    // A delay: refused text first, then one kept exactly as typed.
    PressCommand(main, kDelay);
    HWND input = WaitDialog(*p, "Add Delay between startup of VMs");
    ASSERT_TRUE(input);
    Answer(input, "abc");
    HWND invalid = WaitDialog(*p, "Invalid Entry");
    ASSERT_TRUE(invalid);
    EXPECT_EQ(MessageBoxText(invalid), "Must be an integer");
    ClickButton(invalid, "OK");
    PressCommand(main, kDelay);
    input = WaitDialog(*p, "Add Delay between startup of VMs");
    ASSERT_TRUE(input);
    Answer(input, "0");
    invalid = WaitDialog(*p, "Invalid Entry");
    ASSERT_TRUE(invalid);
    EXPECT_EQ(MessageBoxText(invalid), "Must be a \"natural number\", i.e. an integer > 0.");
    ClickButton(invalid, "OK");
    PressCommand(main, kDelay);
    input = WaitDialog(*p, "Add Delay between startup of VMs");
    ASSERT_TRUE(input);
    Answer(input, " 7");
    ASSERT_TRUE(WaitFor([&] { return ListCount(list) == 4; }, 10s));

    PressCommand(main, kPrompt);
    ASSERT_TRUE(WaitFor([&] { return ListCount(list) == 5; }, 10s));

    // A wait: the same checks and boxes as a delay.
    for (const auto& [typed, refusal] : {std::pair{"1.5", "Must be an integer"},
                                         {"-4", "Must be a \"natural number\", i.e. an integer > 0."}}) {
        PressCommand(main, kWait);
        input = WaitDialog(*p, "Add Wait until the VM above is ready");
        ASSERT_TRUE(input);
        Answer(input, typed);
        invalid = WaitDialog(*p, "Invalid Entry");
        ASSERT_TRUE(invalid) << typed;
        EXPECT_EQ(MessageBoxText(invalid), refusal);
        ClickButton(invalid, "OK");
    }
    PressCommand(main, kWait);
    input = WaitDialog(*p, "Add Wait until the VM above is ready");
    ASSERT_TRUE(input);
    Answer(input, "45");
    ASSERT_TRUE(WaitFor([&] { return ListCount(list) == 6; }, 10s));

    // Tick Alpha; move the delay above Beta; three option boxes.
    ASSERT_TRUE(SetListCheck(list, 1, true));
    ASSERT_TRUE(SelectListLine(list, 3));
    Sleep(200);
    PressCommand(main, kUp);
    ClickControl(main, kBkpAll);
    ClickControl(main, kWinStart);
    ClickControl(main, kResumeOthers);
    ASSERT_TRUE(WaitFor([&] { return ListText(list, 2) == "DELAY: 7"; }, 5s));
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(main, kSave)));

    ClickControl(main, kSave);
    // The two buttons go grey one after the other, and the log line follows them.
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(GetDlgItem(main, kForget)); }, 5s));
    ASSERT_TRUE(
        WaitFor([&] { return ws.Log().find(" - Configuration updated.\r\n") != std::string::npos; }, 5s));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, kSave)));
    const std::string saved = "[Options]\r\n  BkpAll = -1\r\n  UseSnapshot = 0\r\n  ResumeOthers = -1\r\n"
                              "[Control]\r\n  " +
                              team + " = 0\r\n  " + alpha + " = -1\r\n  DELAY: 7 = -1\r\n  " + beta +
                              " = 0\r\n  PROMPT: = -1\r\n  WAIT:45 = -1\r\n";
    EXPECT_EQ(ReadFileBytes(ws.Dir() + "Tarnwick.ini"), saved);
    EXPECT_EQ(RunValue(), "\"" + ws.Exe() + "\" /START");

    // Changes and then Forget: the saved order and marks come back, both buttons go grey.
    ASSERT_TRUE(SelectListLine(list, 4));
    Sleep(200);
    PressCommand(main, kUp);
    ASSERT_TRUE(SetListCheck(list, 0, true));
    ClickControl(main, kResumeOthers);
    ASSERT_TRUE(WaitFor([&] { return ListText(list, 3) == "PROMPT:"; }, 5s));
    ClickControl(main, kForget);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(GetDlgItem(main, kForget)); }, 5s));
    const std::vector<std::pair<std::string, bool>> expected = {{team, false},      {alpha, true},
                                                                {"DELAY: 7", true}, {beta, false},
                                                                {"PROMPT:", true},  {"WAIT:45", true}};
    EXPECT_EQ(Lines(list), expected);
    EXPECT_TRUE(Checked(main, kResumeOthers));

    // Unticking the logon start and saving removes the Run value.
    ClickControl(main, kWinStart);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(main, kSave)) != FALSE; }, 5s));
    ClickControl(main, kSave);
    ASSERT_TRUE(WaitFor([&] { return !RunValue().has_value(); }, 5s));
    ASSERT_TRUE(ExitThroughTray(*p, main));

    // The next start shows the same list.
    p = std::make_unique<Process>("\"" + ws.Exe() + "\"");
    main = WaitWindow(p->Id(), "TfrmMain");
    ASSERT_TRUE(main);
    EXPECT_EQ(Lines(GetDlgItem(main, kList)), expected);
    EXPECT_EQ(SendMessageA(GetDlgItem(main, kBkpAll), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_NE(SendMessageA(GetDlgItem(main, kWinStart), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(Checked(main, kResumeOthers));
    ASSERT_TRUE(ExitThroughTray(*p, main));
}

TEST(Config, HandEditedFileLoadsByTheProfileRules) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    EnsureRunKey();
    WriteFileBytes(ws.Dir() + "Tarnwick.ini", "[options]\r\n"
                                              "BkpAll=0x10\r\n"
                                              "[control]\r\n"
                                              "  C:\\VMs\\a.vmx = 1\r\n"
                                              "C:\\VMS\\A.VMX=-1\r\n"
                                              "  C:\\VMs\\b=c.vmx = -1\r\n"
                                              "  DELAY:5 = true\r\n"
                                              "  DELAY:5 = -1\r\n"
                                              "  PROMPT: = yes\r\n"
                                              "  C:\\VMs\\d.vmx = 7\r\n"
                                              "  x = -1\r\n");
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"C:\\VMs\\a.vmx", true}, {"C:\\VMs\\b", false},    {"DELAY:5", false},
        {"PROMPT:", false},       {"C:\\VMs\\d.vmx", true}, {"x", true}};
    EXPECT_EQ(Lines(GetDlgItem(main, kList)), expected);
    EXPECT_EQ(SendMessageA(GetDlgItem(main, kBkpAll), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, kSave)));
    ASSERT_TRUE(ExitThroughTray(p, main));
}

// The stop action from the entry's menu, by the mouse (key 0), Shift+F10 and the menu key; an older file
// without [StopAction] loads as it is and is written back byte for byte once every VM suspends again.
TEST(Config, AStopActionIsChosenFromTheEntrysMenuSavedForgottenAndReadBack) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    EnsureRunKey();
    const std::string old = "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n"
                            "  C:\\VMs\\a.vmx = -1\r\n  C:\\VMs\\b.vmx = 0\r\n  DELAY:5 = -1\r\n";
    WriteFileBytes(ws.Dir() + "Tarnwick.ini", old);
    const auto column = [](HWND list) {
        return ListText(list, 0, 1) + "|" + ListText(list, 1, 1) + "|" + ListText(list, 2, 1);
    };
    // The item by its access key once the menu is up; true when the line then shows shown.
    const auto choose = [](HWND list, int index, WORD key, char item, const std::string& shown) {
        DWORD pid = 0;
        GetWindowThreadProcessId(list, &pid);
        if (key == 0) RightClickListLine(list, index);
        if (key != 0 && SelectListLine(list, index)) PressKey(key, false, key == VK_F10);
        EXPECT_TRUE(WaitFor([&] { return !WindowsOf(pid, "#32768").empty(); }, 5s)) << "no menu: " << key;
        Sleep(600); // Wine shows the menu a moment before its loop takes keys
        PressKey(static_cast<WORD>(item));
        return WaitFor([&] { return ListText(list, index, 1) == shown; }, 5s);
    };
    {
        Process p("\"" + ws.Exe() + "\"");
        HWND main = WaitWindow(p.Id(), "TfrmMain");
        ASSERT_TRUE(main);
        HWND list = GetDlgItem(main, kList);
        EXPECT_EQ(column(list), "Suspend|Suspend|");
        ASSERT_TRUE(BringToFront(main));
        ASSERT_TRUE(choose(list, 1, 0, 'L', "Leave running"));
        ASSERT_TRUE(choose(list, 0, VK_F10, 'L', "Leave running"));
        ASSERT_TRUE(choose(list, 0, VK_APPS, 'D', "Shut down"));
        PressCommand(main, kSave);
        const std::string saved =
            old + "[StopAction]\r\n  C:\\VMs\\a.vmx = shutdown\r\n  C:\\VMs\\b.vmx = leave\r\n";
        EXPECT_TRUE(WaitFor([&] { return ws.Config() == saved; }, 5s)) << ws.Config();
        ASSERT_TRUE(choose(list, 1, 0, 'S', "Suspend"));
        PressCommand(main, kForget);
        EXPECT_TRUE(WaitFor([&] { return ListText(list, 1, 1) == "Leave running"; }, 5s)) << "Forget";
        ASSERT_TRUE(ExitThroughTray(p, main));
    }
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    HWND list = GetDlgItem(main, kList);
    EXPECT_EQ(column(list), "Shut down|Leave running|");
    ASSERT_TRUE(BringToFront(main));
    ASSERT_TRUE(choose(list, 0, VK_APPS, 'S', "Suspend") && choose(list, 1, VK_F10, 'S', "Suspend"))
        << column(list);
    PressCommand(main, kSave);
    EXPECT_TRUE(WaitFor([&] { return ws.Config() == old; }, 5s)) << ws.Config();
    ASSERT_TRUE(ExitThroughTray(p, main));
}

TEST(Config, MissingRunKeyWarnsAndDisablesTheLogonBox) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    RegDeleteKeyA(HKEY_CURRENT_USER, kRunKey);
    Process p("\"" + ws.Exe() + "\"");
    HWND box = WaitWindow(p.Id(), "#32770", "Tarnwick");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box),
              "WARNING: Unable to open registry key \\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\.");
    ClickButton(box, "OK");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, kWinStart)));
    ASSERT_TRUE(ExitThroughTray(p, main));
    EnsureRunKey();
}

TEST(Config, TenThousandEntriesLoadShowScrollAndSave) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    EnsureRunKey();
    std::string ini = "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n";
    for (int i = 0; i < 10000; ++i)
        ini += "  C:\\VMs\\Machine " + std::to_string(i) + "\\m.vmx = " + (i % 3 ? "0" : "-1") + "\r\n";
    WriteFileBytes(ws.Dir() + "Tarnwick.ini", ini);
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain", "", 60s);
    ASSERT_TRUE(main);
    HWND list = GetDlgItem(main, kList);
    ASSERT_TRUE(WaitFor([&] { return ListCount(list) == 10000; }, 60s));
    EXPECT_EQ(ListText(list, 9999), "C:\\VMs\\Machine 9999\\m.vmx");
    EXPECT_TRUE(ListCheck(list, 9999));
    // Scroll to the end, move the last entry up, save: the file holds all of them in the new order.
    ASSERT_TRUE(SelectListLine(list, 9999));
    SendMessageW(list, LVM_ENSUREVISIBLE, 9999, FALSE);
    Sleep(200);
    PressCommand(main, kUp);
    ASSERT_TRUE(WaitFor([&] { return ListText(list, 9998) == "C:\\VMs\\Machine 9999\\m.vmx"; }, 10s));
    ClickControl(main, kSave);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(GetDlgItem(main, kSave)); }, 30s));
    std::string want = ini;
    const std::string a = "  C:\\VMs\\Machine 9998\\m.vmx = 0\r\n",
                      b = "  C:\\VMs\\Machine 9999\\m.vmx = -1\r\n";
    want.replace(want.find(a), a.size() + b.size(), b + a);
    EXPECT_EQ(ReadFileBytes(ws.Dir() + "Tarnwick.ini"), want);
    ASSERT_TRUE(ExitThroughTray(p, main));
}

// What this run cannot use or read stays in the file: the snapshot mark of a VMware Server without VIX,
// and the entries after a stray line without a name.
TEST(Config, ASaveKeepsWhatTheRunCouldNotUse) {
    Workspace ws;
    InstallOptions o;
    o.product = Product::Server;
    VmwareInstall vmware(ws.Dir(), o);
    EnsureRunKey();
    WriteFileBytes(ws.Dir() + "Tarnwick.ini",
                   "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = -1\r\n[Control]\r\n"
                   "  C:\\VMs\\a.vmx = -1\r\n"
                   "  = -1\r\n"
                   "  C:\\VMs\\b.vmx = -1\r\n"
                   "  C:\\VMs\\c.vmx = 0\r\n");
    Process p("\"" + ws.Exe() + "\"");
    HWND main = WaitWindow(p.Id(), "TfrmMain");
    ASSERT_TRUE(main);
    const std::vector<std::pair<std::string, bool>> loaded = {
        {"C:\\VMs\\a.vmx", true}, {"C:\\VMs\\b.vmx", true}, {"C:\\VMs\\c.vmx", false}};
    EXPECT_EQ(Lines(GetDlgItem(main, kList)), loaded);
    EXPECT_NE(ws.Log().find("Skipped a line without a name in [Control] of Tarnwick.ini: \"= -1\""),
              std::string::npos)
        << ws.Log();

    PressCommand(main, kPrompt);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(main, kSave)) != FALSE; }, 5s));
    PressCommand(main, kSave);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(GetDlgItem(main, kSave)); }, 5s));
    EXPECT_EQ(ReadFileBytes(ws.Dir() + "Tarnwick.ini"), "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = -1\r\n"
                                                        "[Control]\r\n"
                                                        "  C:\\VMs\\a.vmx = -1\r\n"
                                                        "  C:\\VMs\\b.vmx = -1\r\n"
                                                        "  C:\\VMs\\c.vmx = 0\r\n"
                                                        "  PROMPT: = -1\r\n");
    ASSERT_TRUE(ExitThroughTray(p, main));
}

// Another program holds the log for a few seconds at start-up: the list still loads, /START still starts
// it, the failure is told once afterwards, and a later save loses nothing.
TEST(Config, ALogHeldAtStartUpKeepsNeitherTheListNorTheStartBack) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    const std::string alpha = vmware.MakeVm("Alpha", "Alpha");
    const std::string beta = vmware.MakeVm("Beta Web", "Beta Web");
    EnsureRunKey();
    const std::string ini = "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n  " + alpha +
                            " = -1\r\n  " + beta + " = -1\r\n";
    WriteFileBytes(ws.Dir() + "Tarnwick.ini", ini);
    HANDLE held = CreateFileA(ws.LogPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Process p("\"" + ws.Exe() + "\" /START", false);
    const auto started = [&](const std::string& vmx) { return vmware.State(vmx) == "running"; };
    const bool bothStarted = WaitFor([&] { return started(alpha) && started(beta); }, 30s);
    CloseHandle(held);
    EXPECT_TRUE(bothStarted) << "Alpha " << vmware.State(alpha) << ", Beta " << vmware.State(beta);
    HWND box = WaitWindow(p.Id(), "#32770", "Tarnwick", 20s);
    ASSERT_TRUE(box) << "the log failure was not told";
    EXPECT_NE(MessageBoxText(box).find("Tarnwick.log"), std::string::npos) << MessageBoxText(box);
    ClickButton(box, "OK");
    Sleep(1000);
    EXPECT_TRUE(WindowsOf(p.Id(), "#32770").empty()) << "told more than once";

    // The start hid the window; the commands reach it all the same.
    const std::vector<HWND> mains = WindowsOf(p.Id(), "TfrmMain", false);
    ASSERT_EQ(mains.size(), 1u);
    HWND main = mains[0];
    PressCommand(main, kPrompt);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(main, kSave)) != FALSE; }, 5s));
    PressCommand(main, kSave);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(GetDlgItem(main, kSave)); }, 5s));
    EXPECT_EQ(ReadFileBytes(ws.Dir() + "Tarnwick.ini"), ini + "  PROMPT: = -1\r\n");
    ASSERT_TRUE(ExitThroughTray(p, main));
}

// From a folder with spaces the Run value is quoted: started as Windows starts it, it runs this program
// and not the one planted where the unquoted value leads. The unquoted value of earlier versions still
// checks the box.
TEST(Config, ALogonStartFromAFolderWithSpacesIsQuoted) {
    Workspace ws;
    VmwareInstall vmware(ws.Dir());
    EnsureRunKey();
    const std::string exe = ws.Dir() + "My Tools\\Tarnwick.exe", quoted = "\"" + exe + "\" /START";
    CreateDirectoryA((ws.Dir() + "My Tools").c_str(), nullptr);
    CopyFileA(ws.Exe().c_str(), exe.c_str(), FALSE);
    CopyFileA(ws.Exe().c_str(), (ws.Dir() + "My.exe").c_str(), FALSE);
    for (const std::string& run : {"\"" + exe + "\"", quoted, "\"" + exe + "\""}) {
        auto p = std::make_unique<Process>(run, false);
        ASSERT_TRUE(WaitFor([&] { return !WindowsOf(p->Id(), "TfrmMain", false).empty(); }, 20s));
        HWND main = WindowsOf(p->Id(), "TfrmMain", false)[0];
        if (!RunValue()) {
            ClickControl(main, kWinStart);
            ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(main, kSave)) != FALSE; }, 5s));
            ClickControl(main, kSave);
            ASSERT_TRUE(WaitFor([&] { return RunValue() == quoted; }, 5s)) << RunValue().value_or("");
        } else {
            EXPECT_TRUE(WaitFor([&] { return Checked(main, kWinStart); }, 10s)) << *RunValue();
            SetRunValue(exe + " /START");
        }
        ASSERT_TRUE(ExitThroughTray(*p, main));
    }
    EXPECT_FALSE(FileExists(ws.Dir() + "Tarnwick.log")) << "the planted program ran";
    EnsureRunKey();
}
