#include "hypervisor/tool_commands.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

const std::optional<std::string> kCapture = std::string("C:\\App\\Tarnwick.tmp");

TEST(BuildToolCommandLine, BothBackEndsByteExact) {
    struct Case {
        bool useVmrun;
        const char* tool;
        const char* verb;
        const char* vmPath;
        std::optional<std::string> capture;
        const char* expected;
    };
    const Case cases[] = {
        {true, "C:\\P\\vmrun.exe", "start", "D:\\VMs\\a b\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" start "D:\VMs\a b\x.vmx" > "C:\App\Tarnwick.tmp"")"},
        {true, "C:\\P\\vmrun.exe", "snapshot", "D:\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" snapshot "D:\x.vmx" Tarnwick_Backup > "C:\App\Tarnwick.tmp"")"},
        {true, "C:\\P\\vmrun.exe", "deletesnapshot", "D:\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" deletesnapshot "D:\x.vmx" Tarnwick_Backup > "C:\App\Tarnwick.tmp"")"},
        // The snapshot name goes only with the verbs spelt exactly so.
        {true, "C:\\P\\vmrun.exe", "Snapshot", "D:\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" Snapshot "D:\x.vmx" > "C:\App\Tarnwick.tmp"")"},
        {true, "C:\\P\\vmrun.exe", "deleteSnapshot", "D:\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" deleteSnapshot "D:\x.vmx" > "C:\App\Tarnwick.tmp"")"},
        {true, "C:\\P\\vmrun.exe", "suspend", "D:\\T\\t.vmtm", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" suspend "D:\T\t.vmtm" > "C:\App\Tarnwick.tmp"")"},
        {true, "C:\\P\\vmrun.exe", "list", "", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" list > "C:\App\Tarnwick.tmp"")"},
        {false, "C:\\S\\vmware-cmd.bat", "start", "D:\\a b\\x.vmx", kCapture,
         R"(cmd /c ""C:\S\vmware-cmd.bat" "D:\a b\x.vmx" start > "C:\App\Tarnwick.tmp"")"},
        {false, "C:\\S\\vmware-cmd.bat", "-l", "", kCapture,
         R"(cmd /c ""C:\S\vmware-cmd.bat" -l > "C:\App\Tarnwick.tmp"")"},
        // The program's stop is always the guest's own shutdown.
        {true, "C:\\P\\vmrun.exe", "stop", "D:\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" stop "D:\x.vmx" soft > "C:\App\Tarnwick.tmp"")"},
        {false, "C:\\S\\vmware-cmd.bat", "stop", "D:\\x.vmx", kCapture,
         R"(cmd /c ""C:\S\vmware-cmd.bat" "D:\x.vmx" stop trysoft > "C:\App\Tarnwick.tmp"")"},
        // vmware-cmd takes no snapshot name, whatever the verb.
        {false, "C:\\S\\vmware-cmd.bat", "snapshot", "D:\\x.vmx", kCapture,
         R"(cmd /c ""C:\S\vmware-cmd.bat" "D:\x.vmx" snapshot > "C:\App\Tarnwick.tmp"")"},
        {true, "C:\\P\\vmrun.exe", "start", "D:\\x.vmx", std::nullopt,
         R"(cmd /c ""C:\P\vmrun.exe" start "D:\x.vmx"")"},
        {false, "C:\\S\\vmware-cmd.bat", "getstate", "", std::nullopt,
         R"(cmd /c ""C:\S\vmware-cmd.bat" getstate")"},
        // Characters cmd would act on are safe between the quotes; only '%' needs more.
        {true, "C:\\P\\vmrun.exe", "start", "D:\\a&b (1)^|<>!\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" start "D:\a&b (1)^|<>!\x.vmx" > "C:\App\Tarnwick.tmp"")"},
        {true, "C:\\P\\vmrun.exe", "start", "D:\\100%PATH%\\x.vmx", kCapture,
         R"(cmd /c ""C:\P\vmrun.exe" start "D:\100"%"PATH"%"\x.vmx" > "C:\App\Tarnwick.tmp"")"},
        {false, "C:\\100%\\vmware-cmd.bat", "start", "D:\\x.vmx", std::string("C:\\%T%\\Tarnwick.tmp"),
         R"(cmd /c ""C:\100"%"\vmware-cmd.bat" "D:\x.vmx" start > "C:\\"%"T"%"\Tarnwick.tmp"")"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildToolCommandLine(c.useVmrun, c.tool, c.verb, c.vmPath, c.capture), c.expected)
            << c.verb << " " << c.vmPath;
}

TEST(QuoteForCmd, KeepsEveryPercentOutOfReachOfExpansion) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"", R"("")"},
        {"plain path", R"("plain path")"},
        {"%", R"(""%"")"},
        {"%%", R"(""%""%"")"},
        {"a%b", R"("a"%"b")"},
        {"%PATH%", R"(""%"PATH"%"")"},
        {"a%%b", R"("a"%""%"b")"},
        {R"(C:\dir\)", R"("C:\dir\")"}, // without a '%' a trailing backslash stays single
        // Backslashes before a closing quote would escape it for the tool's argument parser.
        {"D:\\%x", R"("D:\\"%"x")"},
        {"D:\\\\%x", R"("D:\\\\"%"x")"},
        {"\\a\\%\\b\\", R"("\a\\"%"\b\")"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QuoteForCmd(c.text), c.expected) << c.text;
}

TEST(TrimControls, RemovesCode32AndBelowAtBothEndsOnly) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"", ""},
        {" \r\n\t\x01", ""},
        {"\r\n  start() = 1 \r\n", "start() = 1"},
        {"a \r\n b", "a \r\n b"},
        {std::string("\0x\0", 3), "x"},
        // ANSI letters above 127 are text, not control characters.
        {"\xe9t\xe9\xa0", "\xe9t\xe9\xa0"},
        {"\x7f", "\x7f"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrimControls(c.text), c.expected);
}

TEST(OutputMeansSuccess, EmptyOrLongerOutputEndingInTheSuccessText) {
    struct Case {
        bool useVmrun;
        const char* output;
        bool success;
    };
    const Case cases[] = {
        {true, "", true},
        {false, "", true},
        {false, "start() = 1", true},
        {false, "suspend() = 1", true},
        {false, "start() = 0", false},
        {false, "() = 1", false}, // the success text alone
        {false, "x() = 1", true},
        {false, "VMControl error -8: Invalid operation for virtual machine's current state: D:\\x.vmx",
         false},
        {true, "banner\r\nresult: The operation was successful", true},
        {true, "result: The operation was successful", false},
        {true, "Xresult: The operation was successful", true},
        {true, "banner\r\nresult: The operation was successful.", false},
        {true, "banner\r\nRESULT: THE OPERATION WAS SUCCESSFUL", false}, // compared with letter case
        {true, "Error: The virtual machine is not powered on: D:\\x.vmx", false},
        // Each back-end knows only its own text.
        {true, "start() = 1", false},
        {false, "banner\r\nresult: The operation was successful", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OutputMeansSuccess(c.output, c.useVmrun), c.success) << c.useVmrun << " " << c.output;
}

TEST(IndentTextLines, LinesEndAtCarriageReturns) {
    struct Case {
        std::string text;
        int indent;
        std::string expected;
    };
    const Case cases[] = {
        {"", 5, ""},
        {"a\r\nb", 5, "     a\r\n     b\r\n"},
        {"a\r\nb\r\n", 5, "     a\r\n     b\r\n"},
        {"a\r\nb\r\n", 0, "a\r\nb\r\n"},
        {"a\rb", 2, "  a\r\n  b\r\n"},
        // A lone LF stays inside its line, also at the end.
        {"a\nb\n", 1, " a\nb\n\r\n"},
        {"\r\n", 3, "   \r\n"},
        {"a\r\r\nb", 0, "a\r\n\r\nb\r\n"},
        {"a\r\n\nb", 0, "a\r\n\nb\r\n"},
        // Code 26 ends the text, wherever it stands.
        {"a\r\nb\x1a\r\nc\r\n", 0, "a\r\nb\r\n"},
        {"\x1a"
         "a",
         4, ""},
        {"a\r\x1a", 0, "a\r\n"},
        {std::string("a\0b", 3), 0, std::string("a\0b\r\n", 5)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IndentTextLines(c.text, c.indent), c.expected);
}

TEST(ReadTextFile, MissingFileIsEmptyAndUnreadableFileThrows) {
    fakes::MemoryFiles files;
    EXPECT_EQ(ReadTextFile(files, "C:\\none.tmp", 5), "");
    files.files["C:\\empty.tmp"] = "";
    EXPECT_EQ(ReadTextFile(files, "C:\\empty.tmp", 5), "");
    files.files["C:\\two.tmp"] = "a\r\nb\r\n";
    EXPECT_EQ(ReadTextFile(files, "C:\\two.tmp", 5), "     a\r\n     b\r\n");
    files.unreadable.insert("C:\\locked.tmp");
    EXPECT_THROW(ReadTextFile(files, "C:\\locked.tmp", 0), IoError);
}

TEST(SplitListing, SplitsAtAnyLineBreakUpToANul) {
    using Items = std::vector<std::string>;
    struct Case {
        std::string text;
        Items items;
    };
    const Case cases[] = {
        {"", {}},
        {"\r\n", {""}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {std::string("a\r\nb\0c\r\n", 8), {"a", "b"}},
        // Items are kept exactly, blanks and letter case included.
        {" D:\\VMs\\A B.vmx \r\n", {" D:\\VMs\\A B.vmx "}},
        {"x\x1ay", {"x\x1ay"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitListing(c.text), c.items);
}

TEST(ToolRunSeconds, ActionsTakeTheUsersLimitAndQueriesAtMostAMinute) {
    struct Case {
        const char* verb;
        std::optional<uint32_t> user;
        uint32_t seconds;
    } cases[] = {
        {"start", std::nullopt, 300},
        {"suspend", 5, 5},
        {"snapshot", 900, 900},
        {"list", std::nullopt, 60},
        {"-l", 900, 60},
        {"getstate", 20, 20},
        {"list", 60, 60},
        {"deletesnapshot", 1, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToolRunSeconds(c.verb, c.user), c.seconds) << c.verb;
}

} // namespace
