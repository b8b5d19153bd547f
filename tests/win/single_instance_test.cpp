#include "app/single_instance.h"
#include "common/win32/module.h"
#include "app/win32/process_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::win32;

namespace {

// A copy of this binary started with this variable set only waits to be found, until its parent ends.
const char* const ProbeVariable = "TARNWICK_SINGLE_INSTANCE_PROBE";

const bool probeMode = [] {
    char parent[32];
    const DWORD n = GetEnvironmentVariableA(ProbeVariable, parent, sizeof parent);
    if (n == 0 || n >= sizeof parent) return false;
    HANDLE parentProcess = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::stoul(parent)));
    // Never outlive the test run by more than a minute, even when the parent cannot be watched.
    WaitForSingleObject(parentProcess ? parentProcess : GetCurrentProcess(), 60000);
    ExitProcess(0);
}();

class Probe {
  public:
    explicit Probe(const std::string& path) : path_(path) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string commandLine = "\"" + path + "\"";
        SetEnvironmentVariableA(ProbeVariable, std::to_string(GetCurrentProcessId()).c_str());
        const BOOL ok = CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                       CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi_);
        SetEnvironmentVariableA(ProbeVariable, nullptr);
        if (!ok) pi_ = {};
        if (pi_.hThread) CloseHandle(pi_.hThread);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    ~Probe() {
        if (!pi_.hProcess) return;
        TerminateProcess(pi_.hProcess, 0);
        WaitForSingleObject(pi_.hProcess, 5000);
        CloseHandle(pi_.hProcess);
    }
    bool Started() const { return pi_.hProcess != nullptr; }
    uint32_t Pid() const { return pi_.dwProcessId; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    PROCESS_INFORMATION pi_{};
};

class RecordingDialogs : public Dialogs {
  public:
    std::vector<std::string> messages;
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool Confirm(const std::string&) override { return false; }
    void InvalidEntry(const std::string&) override {}
    void Beep() override {}
};

class SingleInstanceWin : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        char longTemp[MAX_PATH];
        const DWORD n = GetLongPathNameA(temp, longTemp, MAX_PATH);
        root_ = (n > 0 && n < MAX_PATH ? std::string(longTemp) : std::string(temp)) + "tarnwick_si_" +
                std::to_string(GetCurrentProcessId()) + "\\";
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    }
    void TearDown() override {
        probes_.clear();
        for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
            DeleteFileA(it->c_str());
            RemoveDirectoryA(it->c_str());
        }
        RemoveDirectoryA(root_.c_str());
    }

    // A copy of this binary at root_ + relative, running.
    const Probe& Start(const std::string& dir, const std::string& name) {
        const std::string directory = root_ + dir;
        CreateDirectoryA(directory.c_str(), nullptr);
        files_.push_back(directory);
        const std::string path = directory + "\\" + name;
        EXPECT_TRUE(CopyFileA(ModuleFileName().c_str(), path.c_str(), FALSE)) << path;
        files_.push_back(path);
        probes_.push_back(std::make_unique<Probe>(path));
        EXPECT_TRUE(probes_.back()->Started()) << path;
        WaitUntilReadable(*probes_.back());
        return *probes_.back();
    }

    // The loader of a new process may not have listed its modules yet.
    static void WaitUntilReadable(const Probe& probe) {
        Win32ProcessList list;
        for (int i = 0; i < 100; ++i) {
            if (auto p = list.Open(probe.Pid()); p && p->ImagePath()) return;
            Sleep(50);
        }
        ADD_FAILURE() << "cannot read the path of " << probe.Path();
    }

    std::string root_;
    std::vector<std::string> files_;
    std::vector<std::unique_ptr<Probe>> probes_;
};

// The account as the system names the current user: DOMAIN\user.
AccountName CurrentAccount() {
    HANDLE token = nullptr;
    AccountName account;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return account;
    alignas(TOKEN_USER) char buffer[512];
    DWORD size = 0;
    char user[256], domain[256];
    DWORD userChars = sizeof user, domainChars = sizeof domain;
    SID_NAME_USE use;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        LookupAccountSidA(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, user, &userChars, domain,
                          &domainChars, &use))
        account = {domain, user};
    CloseHandle(token);
    return account;
}

} // namespace

TEST_F(SingleInstanceWin, FindsEveryRunningCopyOfTheFileName) {
    const Probe& first = Start("one", "TwProbe.exe");
    const Probe& second = Start("two with blanks", "TwProbe.exe");
    Start("three", "TWPROBE.EXE"); // other letter case
    Start("four", "TwProbe2.exe"); // other name
    Start("five", "TwProbe.exe.exe");
    if (HasFailure()) return;

    char user[256];
    DWORD userChars = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &userChars));
    const AccountName account = CurrentAccount();
    EXPECT_EQ(account.user, user);
    EXPECT_FALSE(account.domain.empty());

    Win32ProcessList list;
    RecordingDialogs dialogs;
    EXPECT_TRUE(CheckOtherInstance(list, dialogs, "C:\\elsewhere\\TwProbe.exe"));
    std::vector<std::string> expected = {OtherInstanceMessage(first.Path(), account),
                                         OtherInstanceMessage(second.Path(), account)};
    std::sort(expected.begin(), expected.end());
    std::sort(dialogs.messages.begin(), dialogs.messages.end());
    EXPECT_EQ(dialogs.messages, expected);
}

TEST_F(SingleInstanceWin, OwnProcessIsNotAnotherCopy) {
    const std::string self = ModuleFileName();
    Win32ProcessList list;
    EXPECT_EQ(list.OwnProcessId(), GetCurrentProcessId());

    std::vector<uint32_t> ids(ProcessIdBufferCount);
    const std::optional<uint32_t> bytes = list.EnumProcessIds(ids);
    ASSERT_TRUE(bytes);
    ids.resize(*bytes / sizeof(uint32_t));
    EXPECT_NE(std::find(ids.begin(), ids.end(), GetCurrentProcessId()), ids.end());

    auto own = list.Open(GetCurrentProcessId());
    ASSERT_TRUE(own);
    EXPECT_EQ(own->ImagePath(), self);
    const std::optional<AccountName> account = own->Account();
    ASSERT_TRUE(account);
    EXPECT_EQ(account->user, CurrentAccount().user);

    RecordingDialogs dialogs;
    EXPECT_FALSE(CheckOtherInstance(list, dialogs, self));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SingleInstanceWin, SmallBufferHoldsOnlyWhatFits) {
    Win32ProcessList list;
    std::vector<uint32_t> ids(2, 0xFFFFFFFFu);
    ids.push_back(0xABCDEF01u); // outside the span handed over: must stay untouched
    const std::optional<uint32_t> bytes = list.EnumProcessIds(std::span<uint32_t>(ids.data(), 2));
    ASSERT_TRUE(bytes);
    EXPECT_LE(*bytes, 2 * sizeof(uint32_t));
    EXPECT_EQ(ids[2], 0xABCDEF01u);
}

TEST_F(SingleInstanceWin, ProcessesThatCannotBeOpened) {
    Win32ProcessList list;
    EXPECT_EQ(list.Open(0), nullptr);
    EXPECT_EQ(list.Open(0xFFFFFFF0u), nullptr);
}
