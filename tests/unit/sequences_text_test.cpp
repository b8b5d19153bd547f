#include "sequences/backup.h"
#include "sequences/entry_text.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tarnwick;
using namespace tarnwick::sequences;

namespace {

TEST(SequenceText, IntegerText) {
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"10", 10},
        {"  7", 7},
        {"7 ", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"abc", std::nullopt},
        {"\t5", std::nullopt},
        {"1 2", std::nullopt},
        {"+5", 5},
        {"-3", -3},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"$A", 10},
        {"x1f", 31},
        {"X1F", 31},
        {"0x10", 16},
        {"0X10", 16},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"-$5", std::nullopt},
        {"0x-1", std::nullopt},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$100000000", std::nullopt},
        {"$000000000FF", 255},
        {"0000000000012", 12},
        {"2147483647", INT32_MAX},
        {"2147483648", std::nullopt},
        {"-2147483648", INT32_MIN},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseIntegerText(text), value) << '"' << text << '"';
}

TEST(SequenceText, KindsAreTestedByTheirExactPrefixesAndTheTeamEnding) {
    EXPECT_TRUE(IsTeam("C:\\T\\x.VMTM"));
    EXPECT_TRUE(IsTeam("C:\\T\\x.vmtm"));
    EXPECT_FALSE(IsTeam("C:\\T\\x.vmx"));
    EXPECT_FALSE(IsDelay("delay:5"));
    EXPECT_FALSE(IsPrompt("Prompt:"));
    EXPECT_FALSE(HasSkipMarker("skip:C:\\a.vmx"));
    EXPECT_EQ(DelayRest("DELAY: 5"), " 5");
}

TEST(SequenceText, QuotingForCmdKeepsPercentOutsideTheQuotes) {
    const std::pair<const char*, const char*> cases[] = {
        {"", R"("")"},
        {R"(C:\a b\c)", R"("C:\a b\c")"},
        {"a%b", R"("a"%"b")"},
        {"%PATH%", R"(""%"PATH"%"")"},
        {"a%%b", R"("a"%""%"b")"},
        {R"(E:\%x)", R"("E:\\"%"x")"},
        {R"(E:\\%x)", R"("E:\\\\"%"x")"},
        {R"(C:\dir\)", R"("C:\dir\")"},
    };
    for (const auto& [text, quoted] : cases)
        EXPECT_EQ(QuoteCmdArgument(text), quoted) << text;
}

TEST(SequenceText, VmFolderAndItsName) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        bool usable;
    } cases[] = {
        {R"(D:\VMs\WinXP\WinXP.vmx)", R"(D:\VMs\WinXP)", "WinXP", true},
        {R"(C:\a b\c d\e.vmx)", R"(C:\a b\c d)", "c d", true},
        {R"(\\srv\share\VM\a.vmx)", R"(\\srv\share\VM)", "VM", true},
        {R"(D:\x.vmx)", "D:", "", false},
        {"x.vmx", "", "", false},
        {"D:x.vmx", "D", "D", false},
        {R"(D:\VMs\..\a.vmx)", R"(D:\VMs\..)", "..", false},
        {R"(D:\VMs\.\a.vmx)", R"(D:\VMs\.)", ".", false},
        {"", "", "", false},
    };
    for (const auto& c : cases) {
        const VmFolder split = SplitVmFolder(c.path);
        EXPECT_EQ(split.folder, c.folder) << c.path;
        EXPECT_EQ(split.name, c.name) << c.path;
        EXPECT_EQ(UsableFolderName(c.path, split), c.usable) << c.path;
    }
}

TEST(SequenceText, BackupCommandLines) {
    EXPECT_EQ(BuildDelCommand(R"(E:\Bkp\)", "WinXP"), R"(cmd /c "DEL /Q /F "E:\Bkp\WinXP\*.*"")");
    EXPECT_EQ(BuildXcopyCommand(R"(D:\VMs\WinXP)", R"(E:\Bkp\)", "WinXP"),
              R"(cmd /c "XCOPY /I /Y /C "D:\VMs\WinXP" "E:\Bkp\WinXP"")");
    EXPECT_EQ(BuildDelCommand(R"(E:\Bkp\)", "100%"), R"(cmd /c "DEL /Q /F "E:\Bkp\100"%"\*.*"")");
    EXPECT_EQ(BuildXcopyCommand(R"(D:\%USERNAME%\VM)", R"(E:\Bkp\)", "VM"),
              R"(cmd /c "XCOPY /I /Y /C "D:\\"%"USERNAME"%"\VM" "E:\Bkp\VM"")");
}

} // namespace
