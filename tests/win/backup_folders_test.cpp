// The backup's folder work against the real file system: listings, full paths, renames that refuse an
// open file or an existing name, removal of a folder with what it holds, and the copy of single files.
#include <windows.h>

#include "sequences/win32/backup_folders.h"

#include "child_modes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace tarnwick;
using namespace tarnwick::win32;

namespace {

void Write(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

TEST(BackupFolders, ListRenameAndRemove) {
    WinBackupFolders folders;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "tarnwick-folders-" + std::to_string(GetCurrentProcessId());
    folders.RemoveFolder(root);
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    const std::string vm = root + "\\VM";
    CreateDirectoryA(vm.c_str(), nullptr);
    CreateDirectoryA((vm + "\\VM.vmx.lck").c_str(), nullptr);
    Write(vm + "\\VM.vmx.lck\\lock", "x");
    Write(vm + "\\VM.vmx", "config");
    Write(vm + "\\VM.vmdk", std::string(70000, 'd'));
    SetFileAttributesA((vm + "\\VM.vmx").c_str(), FILE_ATTRIBUTE_READONLY);

    // Files only, with their sizes; a write changes the stamp.
    auto listed = folders.ListFiles(vm);
    ASSERT_TRUE(listed.has_value());
    std::sort(listed->begin(), listed->end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(listed->size(), 2u);
    EXPECT_EQ((*listed)[0].name, "VM.vmdk");
    EXPECT_EQ((*listed)[0].size, 70000u);
    EXPECT_EQ((*listed)[1].name, "VM.vmx");
    EXPECT_EQ((*listed)[1].size, 6u);
    Sleep(20);
    Write(vm + "\\VM.vmdk", std::string(70000, 'e'));
    const auto again = folders.ListFiles(vm);
    ASSERT_TRUE(again.has_value());
    for (const auto& f : *again) {
        if (f.name == "VM.vmdk") {
            EXPECT_NE(f.modified, (*listed)[0].modified);
        }
    }
    EXPECT_FALSE(folders.ListFiles(root + "\\missing").has_value());

    // "." and ".." resolved against the current directory.
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    SetCurrentDirectoryA(vm.c_str());
    EXPECT_EQ(folders.FullPath("."), vm);
    EXPECT_EQ(folders.FullPath("..\\VM\\.\\x"), vm + "\\x");
    SetCurrentDirectoryA(cwd);

    // Folders only; a folder that exists is made again without harm, and a small file replaces its own.
    EXPECT_EQ(folders.ListFolders(vm), std::optional<std::vector<std::string>>({"VM.vmx.lck"}));
    EXPECT_TRUE(folders.MakeFolder(vm + "\\VM.vmx.lck"));
    EXPECT_FALSE(folders.MakeFolder(root + "\\missing\\x"));
    EXPECT_TRUE(folders.WriteSmallFile(vm + "\\VM.vmx.lck\\lock", "mark"));
    EXPECT_TRUE(folders.MakeFolder(vm + "\\made"));
    EXPECT_EQ(folders.ListFolders(vm)->size(), 2u);
    EXPECT_FALSE(folders.WriteSmallFile(root + "\\missing\\mark", "mark"));

    // A lock is one holder's at a time, names it, and goes with it.
    {
        const std::string lockPath = root + "\\VM.tarnwick-lock";
        auto held = folders.TakeLock(lockPath);
        ASSERT_TRUE(held.lock);
        const auto again = folders.TakeLock(lockPath);
        EXPECT_FALSE(again.lock);
        EXPECT_TRUE(again.heldByAnother);
        EXPECT_EQ(again.holder, std::to_string(GetCurrentProcessId()));
        held.lock.reset();
        EXPECT_EQ(GetFileAttributesA(lockPath.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(folders.TakeLock(lockPath).lock);
        EXPECT_FALSE(folders.TakeLock(root + "\\missing\\x.tarnwick-lock").heldByAnother);
    }

    // A rename onto an existing folder fails and changes nothing.
    const std::string other = root + "\\Other";
    CreateDirectoryA(other.c_str(), nullptr);
    EXPECT_FALSE(folders.RenameFolder(vm, other));
    EXPECT_TRUE(folders.ListFiles(vm).has_value());
    EXPECT_TRUE(folders.RenameFolder(vm, root + "\\VM.old"));
    EXPECT_FALSE(folders.ListFiles(vm).has_value());

    // Removal takes read-only files and subfolders with it; a missing folder counts as removed.
    EXPECT_TRUE(folders.RemoveFolder(root + "\\VM.old"));
    EXPECT_EQ(GetFileAttributesA((root + "\\VM.old").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(folders.RemoveFolder(root + "\\VM.old"));
    EXPECT_TRUE(folders.RemoveFolder(root));
}

TEST(BackupFolders, CopyOneFileReplacesTheCopyAnswersTheWindowAndSaysWhyItFailed) {
    WinBackupFolders folders;
    std::string root = win_test::MakeTempDir("copy");
    root.pop_back(); // the folders' paths are without their trailing backslash
    const std::string from = root + "\\disk.vmdk", to = root + "\\copy.vmdk";
    std::string disk(64 << 20, 'd');
    disk.replace(40 << 20, 16, "the guest's text");
    Write(from, disk);
    Write(to, std::string(65 << 20, 'o')); // the first pass's copy, longer than the file is now
    // A message that waits when the copy starts is handed to answer while the copy runs.
    PostThreadMessageA(GetCurrentThreadId(), WM_APP, 0, 0);
    int answered = 0;
    const auto answer = [&answered] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            answered += msg.message == WM_APP;
    };
    // What copied is told never counts the previous copy's bytes.
    std::vector<uint64_t> readings;
    const auto copied = [&readings](uint64_t bytes) { readings.push_back(bytes); };
    EXPECT_EQ(folders.CopyOneFile(from, to, 5, answer, copied).end, BackupFolders::CopyEnd::Copied);
    EXPECT_EQ(answered, 1);
    EXPECT_TRUE(std::all_of(readings.begin(), readings.end(), [&](uint64_t b) { return b <= disk.size(); }));
    EXPECT_TRUE(win_test::ReadFileText(to) == disk);

    // A file another program holds without sharing: failed, with the system's reason.
    HANDLE held = CreateFileA(from.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    auto result = folders.CopyOneFile(from, to, 5, nullptr, nullptr);
    CloseHandle(held);
    EXPECT_EQ(result.end, BackupFolders::CopyEnd::Failed);
    EXPECT_EQ(result.error, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));

    // A copy that takes longer than the limit is not given up while it makes progress. Wine never calls
    // the progress routine, so there only the copy's growth shows it. The source is a hole of 2 GiB in
    // the Linux file beneath, which costs no disk (1 GiB was copied in under a second when the machine
    // was idle).
    held = CreateFileA(from.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    SetFilePointerEx(held, LARGE_INTEGER{.QuadPart = 2LL << 30}, nullptr, FILE_BEGIN);
    SetEndOfFile(held);
    CloseHandle(held);
    const auto start = std::chrono::steady_clock::now();
    // Its growth is also what copied is told, once a look, never more than the file.
    readings.clear();
    result = folders.CopyOneFile(from, to, 1, nullptr, copied);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.end, BackupFolders::CopyEnd::Copied) << result.error;
    const auto listed = folders.ListFiles(root).value_or(std::vector<BackupFolders::File>());
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(),
                            [](const auto& f) { return f.name == "copy.vmdk" && f.size == 2ULL << 30; }));
    EXPECT_GE(took, std::chrono::milliseconds(1200)) << "too short to show that progress holds the limit off";
    const auto seconds = size_t(std::chrono::duration_cast<std::chrono::seconds>(took).count());
    EXPECT_TRUE(readings.size() + 1 >= seconds && readings.size() <= seconds + 1) << readings.size();
    EXPECT_TRUE(std::is_sorted(readings.begin(), readings.end()));
    EXPECT_TRUE(readings.empty() || readings.back() <= 2ULL << 30);
    EXPECT_TRUE(folders.RemoveFolder(root));
}

} // namespace
