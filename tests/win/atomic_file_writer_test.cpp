// Replacing Tarnwick.ini: the old file survives every failure, and the failure is explained.
#include <windows.h>

#include "config/win32/atomic_file_writer.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::win32;

namespace {

std::string Read(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string s(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
    CloseHandle(h);
    s.resize(got);
    return s;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class AtomicFileWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        path = std::string(temp) + "tarnwick-writer-" + std::to_string(GetCurrentProcessId()) + ".ini";
        Cleanup();
    }
    void TearDown() override { Cleanup(); }
    void Cleanup() {
        for (const std::string& p : {path, path + ".new"}) {
            SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(p.c_str());
        }
    }
    void Plant(const std::string& bytes) { ASSERT_TRUE(writer.ReplaceWholeFile(path, bytes).ok); }

    std::string path;
    AtomicFileWriter writer;
};

} // namespace

TEST_F(AtomicFileWriterTest, WritesANewFileAndReplacesAnOldOneExactly) {
    const std::string first = "[Options]\r\n  BkpAll = 0\r\n";
    EXPECT_TRUE(writer.ReplaceWholeFile(path, first).ok);
    EXPECT_EQ(Read(path), first);
    std::string second(3 << 20, 'x'); // more than one write call
    second += std::string("\r\n\0end", 6);
    EXPECT_TRUE(writer.ReplaceWholeFile(path, second).ok);
    const std::string back = Read(path);
    EXPECT_EQ(back.size(), second.size());
    EXPECT_TRUE(back == second);
    EXPECT_TRUE(writer.ReplaceWholeFile(path, "").ok);
    EXPECT_EQ(Read(path), "");
    EXPECT_FALSE(Exists(path + ".new"));
}

TEST_F(AtomicFileWriterTest, ReadOnlyFileStaysAndTheReasonIsGiven) {
    Plant("old");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const Outcome result = writer.ReplaceWholeFile(path, "new");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.why.find("read-only"), std::string::npos) << result.why;
    EXPECT_NE(result.why.find(path), std::string::npos) << result.why;
    EXPECT_EQ(Read(path), "old");
    EXPECT_FALSE(Exists(path + ".new"));
}

TEST_F(AtomicFileWriterTest, FileHeldOpenWithoutSharingStaysAndTheReasonIsGiven) {
    Plant("old");
    for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        const Outcome result = writer.ReplaceWholeFile(path, "new");
        CloseHandle(holder);
        EXPECT_FALSE(result.ok) << "share mode " << share;
        EXPECT_NE(result.why.find("Cannot replace " + path + ": "), std::string::npos) << result.why;
        EXPECT_GT(result.why.size(), ("Cannot replace " + path + ": .").size()) << result.why;
        EXPECT_EQ(Read(path), "old") << "share mode " << share;
        EXPECT_FALSE(Exists(path + ".new"));
    }
    // Once the other handle is gone the save goes through.
    EXPECT_TRUE(writer.ReplaceWholeFile(path, "new").ok);
    EXPECT_EQ(Read(path), "new");
}

TEST_F(AtomicFileWriterTest, StaleNewFileFromACrashDoesNotStopTheSave) {
    Plant("old");
    {
        HANDLE h = CreateFileA((path + ".new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        WriteFile(h, "half", 4, &n, nullptr);
        CloseHandle(h);
        SetFileAttributesA((path + ".new").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_TRUE(writer.ReplaceWholeFile(path, "whole").ok);
    EXPECT_EQ(Read(path), "whole");
    EXPECT_FALSE(Exists(path + ".new"));
}

TEST_F(AtomicFileWriterTest, MissingFolderIsReported) {
    const std::string nowhere = path + ".dir\\Tarnwick.ini";
    const Outcome result = writer.ReplaceWholeFile(nowhere, "x");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.why.find("Cannot create " + nowhere + ".new: "), std::string::npos) << result.why;
}
