#include "dos/win32/command_runner.h"

#include "child_modes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace tarnwick;
using namespace tarnwick::win_test;

namespace {

class CommandRunnerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = MakeTempDir("runner");
        ASSERT_TRUE(CopyOwnExe(dir_ + "child.exe"));
    }
    void SetUp() override {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    std::string Child(const std::string& words) const { return "\"" + dir_ + "child.exe\" " + words; }

    static inline std::string dir_;
};

TEST_F(CommandRunnerTest, ExitCodeOfTheChild) {
    struct Case {
        std::string commandLine;
        uint32_t exitCode;
    };
    const Case cases[] = {
        {"cmd /c exit 7", 7},
        {"cmd /c exit 0", 0},
        {"cmd /c exit -1", 4294967295u},
        {Child("exit 3000000000"), 3000000000u},
    };
    win32::CommandRunner runner;
    for (const Case& c : cases) {
        uint32_t exitCode = 12345;
        EXPECT_TRUE(runner.RunCommandLine(c.commandLine, "", true, exitCode)) << c.commandLine;
        EXPECT_EQ(exitCode, c.exitCode) << c.commandLine;
    }
}

TEST_F(CommandRunnerTest, CreationFailureAndNoWait) {
    win32::CommandRunner runner;
    uint32_t exitCode = 12345;
    EXPECT_FALSE(runner.RunCommandLine("Z:\\no\\such\\program.exe", "", true, exitCode));
    EXPECT_EQ(exitCode, 0u);
    exitCode = 12345;
    EXPECT_FALSE(runner.RunCommandLine("child.exe exit 1", dir_ + "missing", true, exitCode));
    EXPECT_EQ(exitCode, 0u);

    exitCode = 12345;
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(runner.RunCommandLine(Child("sleep 3000 exit 5"), "", false, exitCode));
    EXPECT_LT(GetTickCount64() - start, 2000u);
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(CommandRunnerTest, ChildRunsInTheCompletedWorkingDirectory) {
    // An absolute directory, given without its backslash; the relative command line goes under it.
    win32::CommandRunner runner;
    uint32_t exitCode = 0;
    const std::string absolute = dir_.substr(0, dir_.size() - 1);
    ASSERT_TRUE(runner.RunCommandLine("child.exe cwd cwd.txt exit 3", absolute, true, exitCode));
    EXPECT_EQ(exitCode, 3u);
    EXPECT_EQ(ReadFileText(dir_ + "cwd.txt"), absolute);

    // A relative directory lies under the program's own directory.
    const std::string exeDir = DirOf(win32::ModuleFileName());
    const std::string sub = "runner_rel_test";
    CreateDirectoryA((exeDir + sub).c_str(), nullptr);
    CopyOwnExe(exeDir + sub + "\\child.exe"); // a copy left by an earlier run may still be busy
    DeleteFileA((exeDir + sub + "\\cwd.txt").c_str());
    EXPECT_TRUE(runner.RunCommandLine("child.exe cwd cwd.txt", sub, true, exitCode));
    EXPECT_EQ(ReadFileText(exeDir + sub + "\\cwd.txt"), exeDir + sub);
    DeleteFileA((exeDir + sub + "\\cwd.txt").c_str());
    // Wine lets go of an ended child's image and directory a moment later.
    for (int tries = 0; tries < 40 && !DeleteFileA((exeDir + sub + "\\child.exe").c_str()); ++tries)
        Sleep(50);
    for (int tries = 0; tries < 40 && !RemoveDirectoryA((exeDir + sub).c_str()); ++tries)
        Sleep(50);

    // An absolute command line is not prefixed, and still gets the directory.
    DeleteFileA((dir_ + "cwd.txt").c_str());
    EXPECT_TRUE(runner.RunCommandLine(dir_ + "child.exe cwd cwd.txt", absolute, true, exitCode));
    EXPECT_EQ(ReadFileText(dir_ + "cwd.txt"), absolute);
    // A relative one is, so "cmd" is looked for in that directory and not found.
    EXPECT_FALSE(runner.RunCommandLine("cmd /c exit 4", absolute, true, exitCode));
}

TEST_F(CommandRunnerTest, MessageSeenBeforeTheWaitIsDispatchedAtOnce) {
    // A message some PeekMessage has already looked at no longer counts as new input.
    ULONGLONG dispatchedAt = 0;
    win32::CommandRunner runner([&](MSG& msg) {
        if (msg.message == WM_APP + 1) dispatchedAt = GetTickCount64();
    });
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 1, 0, 0);
    MSG peeked;
    ASSERT_TRUE(PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE));
    uint32_t exitCode = 0;
    ASSERT_TRUE(runner.RunCommandLine(Child("sleep 2000"), "", true, exitCode));
    const ULONGLONG ended = GetTickCount64();
    ASSERT_NE(dispatchedAt, 0u);
    EXPECT_LT(dispatchedAt + 1000, ended) << "dispatched only when the child ended";
}

TEST_F(CommandRunnerTest, MessagesPostedDuringTheWaitArriveInOrderAndPromptly) {
    constexpr int kCount = 20;
    std::atomic<ULONGLONG> postedAt[kCount] = {};
    std::vector<int> seen;
    ULONGLONG worstDelay = 0;
    win32::CommandRunner runner([&](MSG& msg) {
        if (msg.message != WM_APP + 2) return;
        const int n = static_cast<int>(msg.wParam);
        seen.push_back(n);
        worstDelay = std::max(worstDelay, GetTickCount64() - postedAt[n].load());
    });
    const DWORD uiThread = GetCurrentThreadId();
    std::thread poster([&] {
        Sleep(300); // let the wait begin
        for (int i = 0; i < kCount; ++i) {
            postedAt[i] = GetTickCount64();
            PostThreadMessageA(uiThread, WM_APP + 2, i, 0);
            Sleep(30);
        }
    });
    uint32_t exitCode = 0;
    EXPECT_TRUE(runner.RunCommandLine(Child("sleep 2500 exit 6"), "", true, exitCode));
    poster.join();
    EXPECT_EQ(exitCode, 6u);
    std::vector<int> expected(kCount);
    for (int i = 0; i < kCount; ++i)
        expected[i] = i;
    EXPECT_EQ(seen, expected);
    EXPECT_LT(worstDelay, 80u); // a 100 ms poll would show here
}

TEST_F(CommandRunnerTest, NestedRunInsideADispatchedMessage) {
    win32::CommandRunner* self = nullptr;
    uint32_t nestedCode = 0;
    bool nestedStarted = false;
    win32::CommandRunner runner([&](MSG& msg) {
        if (msg.message == WM_APP + 3)
            nestedStarted = self->RunCommandLine("cmd /c exit 9", "", true, nestedCode);
    });
    self = &runner;
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 3, 0, 0);
    uint32_t exitCode = 0;
    EXPECT_TRUE(runner.RunCommandLine(Child("sleep 1500 exit 4"), "", true, exitCode));
    EXPECT_TRUE(nestedStarted);
    EXPECT_EQ(nestedCode, 9u);
    EXPECT_EQ(exitCode, 4u);
}

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 4) ++*reinterpret_cast<int*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(CommandRunnerTest, PlainDispatchKeepsWmQuitForTheCallerWithoutSpinning) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = CountingProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "TarnwickRunnerTest";
    RegisterClassA(&cls);
    HWND window =
        CreateWindowA(cls.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    int received = 0;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&received));
    PostMessageA(window, WM_APP + 4, 0, 0);
    PostQuitMessage(42);

    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelBefore, &userBefore);
    win32::CommandRunner runner;
    uint32_t exitCode = 0;
    EXPECT_TRUE(runner.RunCommandLine(Child("sleep 1500"), "", true, exitCode));
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelAfter, &userAfter);
    const auto ticks = [](const FILETIME& t) {
        return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const ULONGLONG busyMs =
        (ticks(userAfter) - ticks(userBefore) + ticks(kernelAfter) - ticks(kernelBefore)) / 10000;

    EXPECT_EQ(received, 1);
    EXPECT_LT(busyMs, 300u) << "the wait kept waking for the quit message";
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 42u);
    DestroyWindow(window);
}

TEST_F(CommandRunnerTest, SleepDispatchesForItsWholeLength) {
    int seen = 0;
    win32::CommandRunner runner([&](MSG& msg) { seen += msg.message == WM_APP + 5; });
    const DWORD uiThread = GetCurrentThreadId();
    std::thread poster([&] {
        Sleep(100);
        PostThreadMessageA(uiThread, WM_APP + 5, 0, 0);
    });
    const ULONGLONG start = GetTickCount64();
    runner.Sleep(400);
    const ULONGLONG elapsed = GetTickCount64() - start;
    poster.join();
    EXPECT_GE(elapsed, 390u); // the tick count's own granularity
    EXPECT_LT(elapsed, 1000u);
    EXPECT_EQ(seen, 1);
}

} // namespace

TEST_F(CommandRunnerTest, ALimitEndsCmdAndTheToolTogetherWhileMessagesFlow) {
    int dispatched = 0;
    win32::CommandRunner runner([&](MSG& msg) {
        if (msg.message == WM_APP + 3) ++dispatched;
    });
    const DWORD uiThread = GetCurrentThreadId();
    std::thread poster([&] {
        for (int i = 0; i < 5; ++i) {
            Sleep(200);
            PostThreadMessageA(uiThread, WM_APP + 3, 0, 0);
        }
    });
    // cmd starts the tool, which would write its mark after 3 s if it outlived the run.
    const std::string mark = dir_ + "outlived.txt";
    DeleteFileA(mark.c_str());
    uint32_t exitCode = 0;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(runner.RunWithLimit("cmd /c \"" + Child("sleep 3000 cwd \"" + mark + "\"") + "\"",
                                  RunLimit{1, nullptr}, exitCode),
              RunEnd::TimedOut);
    const ULONGLONG took = GetTickCount64() - start;
    poster.join();
    EXPECT_GE(took, 1000u);
    EXPECT_LT(took, 2500u);
    EXPECT_EQ(exitCode, static_cast<uint32_t>(ERROR_TIMEOUT));
    EXPECT_GE(dispatched, 4);
    Sleep(3000);
    EXPECT_FALSE(Exists(mark)) << "the tool outlived its cmd";

    // Within the limit, the run ends as any other; a failed start is told apart.
    EXPECT_EQ(runner.RunWithLimit("cmd /c exit 9", RunLimit{5, nullptr}, exitCode), RunEnd::Exited);
    EXPECT_EQ(exitCode, 9u);
    EXPECT_EQ(runner.RunWithLimit("Z:\\no\\such\\program.exe", RunLimit{5, nullptr}, exitCode),
              RunEnd::NotStarted);
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(CommandRunnerTest, ARunBoundByProgressOutlastsItsLimitWhileItMakesSome) {
    win32::CommandRunner runner;
    // Grows its reading every half second for 3 s, then stalls: the limit of 1 s counts from then.
    const ULONGLONG start = GetTickCount64();
    const RunLimit limit{1, [&] { return std::min<uint64_t>(GetTickCount64() - start, 3000) / 500; }};
    uint32_t exitCode = 0;
    EXPECT_EQ(runner.RunWithLimit(Child("sleep 20000"), limit, exitCode), RunEnd::TimedOut);
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 3500u);
    EXPECT_LT(took, 6000u);
    // A child that ends within the limit ends as any other.
    EXPECT_EQ(
        runner.RunWithLimit(Child("sleep 1500 exit 2"), RunLimit{3, [] { return uint64_t{0}; }}, exitCode),
        RunEnd::Exited);
    EXPECT_EQ(exitCode, 2u);
}
