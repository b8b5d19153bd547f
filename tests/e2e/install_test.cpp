// The release as a user gets it: the per-user installer, the installed program, an upgrade over it, and
// the uninstaller, all silent (/S) and without elevation.
#include "driver.h"
#include "vmware_fixture.h"

#include <gtest/gtest.h>
#include <shlobj.h>

using namespace e2e;

namespace {

constexpr int kWinStart = 1006, kSave = 1008, kBkpAll = 1009;
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnwick";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::string> RegString(const char* key, const char* name) {
    char data[2048] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(data);
}

std::optional<DWORD> RegDword(const char* key, const char* name) {
    DWORD data = 0, size = sizeof data;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

bool KeyExists(const char* key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

std::string KnownFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::string(path) + "\\";
}

std::string FileVersion(const std::string& exe) {
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeA(exe.c_str(), &ignored), '\0');
    void* value = nullptr;
    UINT chars = 0;
    if (block.empty() ||
        !GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &value, &chars))
        return {};
    return static_cast<const char*>(value);
}

std::optional<DWORD> RunInstaller(const std::string& args) {
    Process setup("\"" + ToWindowsPath(Settings().installer) + "\" " + args, false);
    return setup.WaitExit(120s);
}

} // namespace

TEST(Release, InstallerInstallsUpgradesInPlaceAndUninstallsKeepingTheUsersFiles) {
    ASSERT_TRUE(FileExists(ToWindowsPath(Settings().installer))) << Settings().installer;
    const std::string dir = KnownFolder(CSIDL_LOCAL_APPDATA) + "Programs\\Tarnwick\\";
    const std::string exe = dir + "Tarnwick.exe";
    const std::string shortcut = KnownFolder(CSIDL_PROGRAMS) + "Tarnwick.lnk";
    // What an earlier run may have left in this prefix.
    for (const char* name : {"Tarnwick.exe", "Tarnwick.ini", "Tarnwick.log", "Uninstall.exe"})
        DeleteFileA((dir + name).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, kUninstallKey);
    Workspace scratch;
    VmwareInstall vmware(scratch.Dir());

    ASSERT_EQ(RunInstaller("/S"), 0u);
    ASSERT_TRUE(FileExists(exe));
    EXPECT_TRUE(FileExists(shortcut));
    EXPECT_TRUE(FileExists(dir + "LICENSE.txt"));
    const std::string version = FileVersion(exe);
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(RegString(kUninstallKey, "DisplayName"), "Tarnwick");
    EXPECT_EQ(RegString(kUninstallKey, "DisplayVersion"), version);
    EXPECT_NE(RegString(kUninstallKey, "Publisher").value_or(""), "");
    EXPECT_GT(RegDword(kUninstallKey, "EstimatedSize").value_or(0), 100u); // KB; the program alone is more
    EXPECT_EQ(RegString(kUninstallKey, "UninstallString"), "\"" + dir + "Uninstall.exe\"");
    EXPECT_TRUE(FileExists(dir + "Uninstall.exe"));

    // The installed program writes its settings and log beside itself, and the logon start for itself.
    {
        Process p("\"" + exe + "\"");
        HWND main = WaitWindow(p.Id(), "TfrmMain");
        ASSERT_TRUE(main);
        ClickControl(main, kBkpAll);
        ClickControl(main, kWinStart);
        ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(main, kSave)) != FALSE; }, 5s));
        ClickControl(main, kSave);
        ASSERT_TRUE(WaitFor([&] { return FileExists(dir + "Tarnwick.ini"); }, 10s));
        ASSERT_TRUE(ExitThroughTray(p, main));
    }
    const std::string ini = ReadFileBytes(dir + "Tarnwick.ini");
    EXPECT_NE(ini.find("BkpAll = -1"), std::string::npos) << ini;
    EXPECT_NE(ReadFileBytes(dir + "Tarnwick.log").find("Tarnwick Terminated."), std::string::npos);
    EXPECT_EQ(RegString(kRunKey, "Tarnwick"), "\"" + exe + "\" /START");

    // An upgrade in place leaves the user's files alone.
    const std::string log = ReadFileBytes(dir + "Tarnwick.log");
    ASSERT_EQ(RunInstaller("/S"), 0u);
    EXPECT_EQ(ReadFileBytes(dir + "Tarnwick.ini"), ini);
    EXPECT_EQ(ReadFileBytes(dir + "Tarnwick.log"), log);
    EXPECT_TRUE(FileExists(exe));
    EXPECT_TRUE(KeyExists(kUninstallKey));

    // The uninstaller copies itself away and returns at once; what it removes goes shortly after.
    {
        Process uninstall("\"" + dir + "Uninstall.exe\" /S", false);
        ASSERT_TRUE(uninstall.WaitExit(60s).has_value());
    }
    EXPECT_TRUE(WaitFor([&] { return !KeyExists(kUninstallKey) && !FileExists(exe); }, 60s));
    EXPECT_FALSE(FileExists(shortcut));
    EXPECT_FALSE(FileExists(dir + "Uninstall.exe"));
    EXPECT_FALSE(RegString(kRunKey, "Tarnwick").has_value()) << "the logon start of the removed program";
    EXPECT_EQ(ReadFileBytes(dir + "Tarnwick.ini"), ini);
    EXPECT_EQ(ReadFileBytes(dir + "Tarnwick.log"), log);

    DeleteFileA((dir + "Tarnwick.ini").c_str());
    DeleteFileA((dir + "Tarnwick.log").c_str());
    RemoveDirectoryA(dir.c_str());
}
