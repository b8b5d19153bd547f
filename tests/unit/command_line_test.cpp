#include "common/paths.h"
#include "dos/command_line.h"

#include <gtest/gtest.h>

using tarnwick::CompleteCommandLine;
using tarnwick::DirectoryPart;
using tarnwick::FileNamePart;

namespace {

TEST(CompleteCommandLine, CompletesDirectoryAndRelativeCommandLine) {
    struct Case {
        const char* commandLine;
        const char* workingDir;
        const char* exeDir;
        const char* expectedLine;
        const char* expectedDir;
    };
    const Case cases[] = {
        // The Team command: the directory is put directly in front, quotes and all.
        {"vmware -x -q \"D:\\T\\a.vmtm\"", "C:\\VMware\\WS", "C:\\Apps\\",
         "C:\\VMware\\WS\\vmware -x -q \"D:\\T\\a.vmtm\"", "C:\\VMware\\WS\\"},
        {"vmware -x", "C:\\Program Files\\VMware\\", "C:\\Apps\\", "C:\\Program Files\\VMware\\vmware -x",
         "C:\\Program Files\\VMware\\"},
        {"tool.exe", "tools", "C:\\Apps\\", "C:\\Apps\\tools\\tool.exe", "C:\\Apps\\tools\\"},
        {"tool.exe", "..\\x", "C:\\Apps\\", "C:\\Apps\\..\\x\\tool.exe", "C:\\Apps\\..\\x\\"},
        {"tool.exe", "\\\\srv\\share", "C:\\Apps\\", "\\\\srv\\share\\tool.exe", "\\\\srv\\share\\"},
        {"tool.exe", "\\root", "C:\\Apps\\", "\\root\\tool.exe", "\\root\\"},
        {"tool.exe", "C:", "C:\\Apps\\", "C:\\tool.exe", "C:\\"},
        // A drive form or a leading backslash keeps the command line as it is.
        {"D:\\bin\\t.exe /x", "C:\\W", "C:\\Apps\\", "D:\\bin\\t.exe /x", "C:\\W\\"},
        {"D:t.exe", "C:\\W", "C:\\Apps\\", "D:t.exe", "C:\\W\\"},
        {"\\bin\\t.exe", "C:\\W", "C:\\Apps\\", "\\bin\\t.exe", "C:\\W\\"},
        // Only single characters are looked at: a quoted absolute path counts as relative.
        {"\"C:\\x\\t.exe\"", "C:\\W", "C:\\Apps\\", "C:\\W\\\"C:\\x\\t.exe\"", "C:\\W\\"},
        {"t", "C:\\W", "C:\\Apps\\", "C:\\W\\t", "C:\\W\\"},
        {"", "C:\\W", "C:\\Apps\\", "C:\\W\\", "C:\\W\\"},
        {"x:", "w", "", "x:", "w\\"},
        // No working directory: nothing changes, and the child gets no directory.
        {"cmd /c \"\"C:\\P\\vmrun.exe\" list\"", "", "C:\\Apps\\", "cmd /c \"\"C:\\P\\vmrun.exe\" list\"",
         ""},
        {"tool.exe", "", "C:\\Apps\\", "tool.exe", ""},
    };
    for (const Case& c : cases) {
        const auto completed = CompleteCommandLine(c.commandLine, c.workingDir, c.exeDir);
        EXPECT_EQ(completed.commandLine, c.expectedLine) << c.commandLine << " in " << c.workingDir;
        EXPECT_EQ(completed.currentDirectory, c.expectedDir) << c.commandLine << " in " << c.workingDir;
    }
}

TEST(PathParts, SplitAtTheLastBackslashOrColon) {
    EXPECT_EQ(DirectoryPart("C:\\Apps\\x.exe"), "C:\\Apps\\");
    EXPECT_EQ(DirectoryPart("\\\\srv\\s\\x.exe"), "\\\\srv\\s\\");
    EXPECT_EQ(DirectoryPart("C:x.exe"), "C:");
    EXPECT_EQ(DirectoryPart("x.exe"), "");
    EXPECT_EQ(FileNamePart("C:\\a:b\\c:d.exe"), "d.exe");
    EXPECT_EQ(FileNamePart("C:\\dir\\"), "");
    EXPECT_EQ(FileNamePart("x.exe"), "x.exe");
}

} // namespace
