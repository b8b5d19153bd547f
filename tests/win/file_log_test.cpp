// The log file's sharing and retry, and the stamp from the real regional settings.
#include <windows.h>

#include "common/services.h"
#include "app/win32/file_log.h"

#include <gtest/gtest.h>

#include "child_modes.h"

#include <chrono>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::win32;

namespace {

std::string TempName(const char* tag) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "tarnwick-log-" + tag + "-" + std::to_string(GetCurrentProcessId()) + ".log";
}

std::string Slurp(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string s(65536, '\0');
    DWORD got = 0;
    ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
    CloseHandle(h);
    s.resize(got);
    return s;
}

struct TempFile {
    explicit TempFile(const char* tag) : path(TempName(tag)) { DeleteFileA(path.c_str()); }
    ~TempFile() {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    std::string path;
};

} // namespace

TEST(FileLog, CreatesThenAppendsAndOthersMayReadMeanwhile) {
    TempFile f("append");
    AppendLogLine(f.path, "one\r\n");
    // A reader that shares writing (as a viewer would) does not block the next line.
    HANDLE reader = CreateFileA(f.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    AppendLogLine(f.path, "two\r\n");
    CloseHandle(reader);
    EXPECT_EQ(Slurp(f.path), "one\r\ntwo\r\n");
}

TEST(FileLog, WhileALineIsWrittenNoOtherWriterGetsIn) {
    // Our own open shares reading only; we prove it by holding the file the same way and seeing a
    // second writer refused, which is what another copy of the program meets.
    TempFile f("share");
    AppendLogLine(f.path, "x\r\n");
    HANDLE ours =
        CreateFileA(f.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(ours, INVALID_HANDLE_VALUE);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(AppendLogLine(f.path, "y\r\n", 100), IoError);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
    CloseHandle(ours);
    EXPECT_EQ(Slurp(f.path), "x\r\n");
}

TEST(FileLog, AShortHoldIsWaitedOut) {
    TempFile f("short");
    AppendLogLine(f.path, "a\r\n");
    HANDLE hold =
        CreateFileA(f.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    std::thread release([hold] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        CloseHandle(hold);
    });
    EXPECT_NO_THROW(AppendLogLine(f.path, "b\r\n"));
    release.join();
    EXPECT_EQ(Slurp(f.path), "a\r\nb\r\n");
}

// Makes path impossible to open for writing. Wine run as root writes to read-only files (root passes
// the Unix permission Wine maps the attribute to); a folder of that name is refused everywhere.
bool MakeUnwritable(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE probe =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return true;
    CloseHandle(probe);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

TEST(FileLog, UnwritableLogRaisesWithTheReason) {
    TempFile f("ro");
    AppendLogLine(f.path, "kept\r\n");
    ASSERT_TRUE(MakeUnwritable(f.path));
    try {
        AppendLogLine(f.path, "lost\r\n", 10);
        ADD_FAILURE() << "no error for an unwritable log";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find(f.path), std::string::npos) << e.what();
    }
    RemoveDirectoryA(f.path.c_str());

    EXPECT_THROW(AppendLogLine("Q:\\no\\such\\folder\\Tarnwick.log", "x\r\n", 10), IoError);
}

TEST(FileLog, StampFromWineUsEnglishSettings) {
    const LocaleFormats f = ReadLocaleFormats();
    EXPECT_EQ(f.shortDatePattern, "M/d/yyyy");
    EXPECT_EQ(f.timeSeparator, ":");
    EXPECT_FALSE(f.twentyFourHour);
    EXPECT_FALSE(f.hourLeadingZero);
    EXPECT_EQ(f.amDesignator, "AM");
    EXPECT_EQ(f.pmDesignator, "PM");
    EXPECT_EQ(f.monthNames[11], "December");
    EXPECT_EQ(f.abbrevDayNames[0], "Sun");
    LocalDateTime t;
    t.year = 2026;
    t.month = 12;
    t.day = 8;
    t.hour = 0;
    t.minute = 52;
    t.second = 9;
    EXPECT_EQ(FormatLogLine(f, t, "x"), "12/8/2026  12:52:09 AM - x\r\n");
}

TEST(FileLog, TwoProgramsWritingAtOnceLoseNoLine) {
    // Two copies of the program (a tray copy and a backup run) each append 200 lines as fast as they can.
    TempFile f("two");
    const std::string dir = win_test::MakeTempDir("logwriters");
    ASSERT_TRUE(win_test::CopyOwnExe(dir + "child.exe"));
    std::string line = "\"" + dir + "child.exe\" log \"" + f.path + "\"";
    PROCESS_INFORMATION pi[2]{};
    for (PROCESS_INFORMATION& p : pi) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        ASSERT_TRUE(
            CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &p));
    }
    std::map<std::string, std::vector<int>> seen;
    for (PROCESS_INFORMATION& p : pi) {
        EXPECT_EQ(WaitForSingleObject(p.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(p.hProcess, &code);
        EXPECT_EQ(code, 0u) << "a writer gave up on a line";
        seen[std::to_string(p.dwProcessId)];
        CloseHandle(p.hProcess);
        CloseHandle(p.hThread);
    }
    std::istringstream text(Slurp(f.path));
    std::string l;
    while (std::getline(text, l)) {
        ASSERT_TRUE(l.ends_with('\r')) << l;
        const size_t blank = l.find(' ');
        ASSERT_NE(blank, std::string::npos) << l;
        seen[l.substr(0, blank)].push_back(std::stoi(l.substr(blank + 1)));
    }
    ASSERT_EQ(seen.size(), 2u) << "lines from a third writer, or torn lines";
    std::vector<int> all(200);
    for (int n = 0; n < 200; ++n)
        all[n] = n;
    for (const auto& [pid, lines] : seen)
        EXPECT_EQ(lines, all) << "writer " << pid;
}
