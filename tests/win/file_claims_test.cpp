#include "hypervisor/win32/file_claims.h"

#include "child_modes.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarnwick;
using namespace tarnwick::win_test;

TEST(FileClaims, ACopyBesideAnotherGetsTheNextFileAndAnEndedCopyLeavesNothingHeld) {
    const std::string dir = MakeTempDir("claims");
    auto tray = std::make_unique<win32::WinFileClaims>();
    win32::WinFileClaims backup;
    EXPECT_EQ(ClaimCapturePath(dir, *tray, 1), dir + "Tarnwick.tmp");
    EXPECT_EQ(ClaimCapturePath(dir, backup, 2), dir + "Tarnwick-2.tmp");
    EXPECT_TRUE(Exists(dir + "Tarnwick.tmp.lock"));
    // The tray copy ends; its lock goes with it, and the next copy takes the usual name again.
    tray.reset();
    EXPECT_FALSE(Exists(dir + "Tarnwick.tmp.lock"));
    win32::WinFileClaims next;
    EXPECT_EQ(ClaimCapturePath(dir, next, 3), dir + "Tarnwick.tmp");

    // A lock file left by a copy that died with the machine holds nobody.
    const std::string stale = dir + "stale\\";
    CreateDirectoryA(stale.c_str(), nullptr);
    WriteFileText(stale + "Tarnwick.tmp.lock", "");
    win32::WinFileClaims after;
    EXPECT_EQ(ClaimCapturePath(stale, after, 4), stale + "Tarnwick.tmp");

    // Where no lock can be made, the usual name, as before there were locks.
    win32::WinFileClaims nowhere;
    EXPECT_EQ(ClaimCapturePath(dir + "missing\\", nowhere, 5), dir + "missing\\Tarnwick.tmp");
}
