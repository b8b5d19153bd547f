// The Run value through the real registry, on a scratch key, and a save/load round trip through it.
#include <windows.h>

#include "config/win32/atomic_file_writer.h"
#include "config/win32/registry_autostart.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarnwick;
using namespace tarnwick::win32;

namespace {

class RegistryAutostartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent = "Software\\TarnwickTest" + std::to_string(GetCurrentProcessId());
        run = parent + "\\Run";
        RegDeleteTreeA(HKEY_CURRENT_USER, parent.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, parent.c_str()); }
    void CreateRunKey() {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, run.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, run.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    bool KeyExists() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, run.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    std::string parent, run;
};

} // namespace

TEST_F(RegistryAutostartTest, MissingKeyIsNotCreated) {
    RegistryAutostart store(HKEY_CURRENT_USER, run);
    EXPECT_EQ(store.OpenRunKey(), nullptr);
    EXPECT_FALSE(KeyExists());
}

TEST_F(RegistryAutostartTest, StringValueWrittenReadAndDeleted) {
    CreateRunKey();
    RegistryAutostart store(HKEY_CURRENT_USER, run);
    auto key = store.OpenRunKey();
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->ValueExists("Tarnwick"));
    EXPECT_FALSE(key->ReadString("Tarnwick").has_value());
    EXPECT_TRUE(key->DeleteValue("Tarnwick").ok); // nothing to delete is no error

    const std::string command = "C:\\Program Files\\Tarnwick\\Tarnwick.exe /START";
    EXPECT_TRUE(key->WriteString("Tarnwick", command).ok);
    EXPECT_TRUE(key->ValueExists("Tarnwick"));
    EXPECT_EQ(key->ReadString("Tarnwick"), command);
    DWORD type = 0;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, run.c_str(), "Tarnwick", RRF_RT_ANY, &type, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    EXPECT_TRUE(key->DeleteValue("Tarnwick").ok);
    EXPECT_FALSE(key->ValueExists("Tarnwick"));
}

TEST_F(RegistryAutostartTest, OddlyStoredValuesReadSafely) {
    CreateRunKey();
    SetRaw("NoZero", REG_SZ, "abc", 3);
    SetRaw("TwoZeros", REG_SZ, "abc\0\0", 5);
    SetRaw("Expand", REG_EXPAND_SZ, "%x%", 4);
    const DWORD number = 1;
    SetRaw("Number", REG_DWORD, &number, sizeof number);
    SetRaw("Empty", REG_SZ, "", 0);
    const std::string big(40000, 'p');
    SetRaw("Big", REG_SZ, big.c_str(), static_cast<DWORD>(big.size() + 1));

    auto key = RegistryAutostart(HKEY_CURRENT_USER, run).OpenRunKey();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->ReadString("NoZero"), "abc");
    EXPECT_EQ(key->ReadString("TwoZeros"), "abc");
    EXPECT_EQ(key->ReadString("Expand"), "%x%");
    EXPECT_TRUE(key->ValueExists("Number"));
    EXPECT_FALSE(key->ReadString("Number").has_value());
    EXPECT_EQ(key->ReadString("Empty"), "");
    EXPECT_EQ(key->ReadString("Big"), big);
}

namespace {

struct NoFiles : FileSystem {
    std::string path, bytes;
    bool FileExists(const std::string&) override { return false; }
    bool DirectoryExists(const std::string&) override { return false; }
    std::optional<std::string> ReadWholeFile(const std::string& p) override {
        HANDLE h = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return std::nullopt;
        std::string s(1 << 16, '\0');
        DWORD got = 0;
        ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
        CloseHandle(h);
        s.resize(got);
        return s;
    }
    bool DeleteFile(const std::string& p) override { return DeleteFileA(p.c_str()); }
    uint64_t FolderFileBytes(const std::string&) override { return 0; }
};
struct QuietReporter : Reporter {
    std::vector<std::string> lines;
    void WriteLog(const std::string& msg) override { lines.push_back(msg); }
    void ShowStatus(const std::string& msg) override { lines.push_back(msg); }
};
struct QuietDialogs : Dialogs {
    std::vector<std::string> shown;
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    bool Confirm(const std::string&) override { return false; }
    void InvalidEntry(const std::string& text) override { shown.push_back(text); }
    void Beep() override {}
};

} // namespace

TEST_F(RegistryAutostartTest, SaveAndLoadThroughTheRealAdapters) {
    CreateRunKey();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    RunFiles state = RunFiles::Beside("C:\\Tools\\Tarnwick.exe", "C:\\Tools\\Tarnwick.tmp");
    state.configFilePath =
        std::string(temp) + "tarnwick-roundtrip-" + std::to_string(GetCurrentProcessId()) + ".ini";
    DeleteFileA(state.configFilePath.c_str());

    NoFiles files;
    AtomicFileWriter writer;
    RegistryAutostart autostart(HKEY_CURRENT_USER, run);
    QuietReporter reporter;
    QuietDialogs dialogs;
    ControlList list;
    ConfigStore store(state, files, writer, autostart, reporter, dialogs, list);

    store.LoadConfig();
    EXPECT_FALSE(store.Options().winStart);
    list.AddFile("C:\\VMs\\a.vmx");
    list.AddPrompt();
    store.ClickWinStart(true);
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(RegistryAutostart(HKEY_CURRENT_USER, run).OpenRunKey()->ReadString("Tarnwick"),
              "\"C:\\Tools\\Tarnwick.exe\" /START");

    ControlList again;
    ConfigStore reload(state, files, writer, autostart, reporter, dialogs, again);
    reload.LoadConfig();
    EXPECT_TRUE(reload.Options().winStart);
    EXPECT_EQ(again.Entries(), list.Entries());

    reload.ClickWinStart(false);
    ASSERT_TRUE(reload.SaveConfig().ok);
    EXPECT_FALSE(RegistryAutostart(HKEY_CURRENT_USER, run).OpenRunKey()->ValueExists("Tarnwick"));
    EXPECT_TRUE(dialogs.shown.empty());
    DeleteFileA(state.configFilePath.c_str());
}
