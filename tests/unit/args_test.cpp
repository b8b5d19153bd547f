#include "app/args.h"

#include <gtest/gtest.h>

using tarnwick::ParamIndex;
using tarnwick::SplitCommandLine;
using Words = std::vector<std::string>;

TEST(SplitCommandLine, SplitsLikeTheLauncherWroteIt) {
    struct Case {
        const char* line;
        Words words;
    };
    const Case cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"prog.exe", {"prog.exe"}},
        {"\"C:\\Program Files\\T\\Tarnwick.exe\" /START", {"C:\\Program Files\\T\\Tarnwick.exe", "/START"}},
        // Any control character separates words, as does the blank.
        {"a\tb\x01"
         "c\x1f"
         "d",
         {"a", "b", "c", "d"}},
        // A backslash before a quote is an ordinary character; the quote still closes.
        {"p /BKP \"D:\\Back up\\\"", {"p", "/BKP", "D:\\Back up\\"}},
        {"p /BKP \"D:\\Back up\\\" /START", {"p", "/BKP", "D:\\Back up\\", "/START"}},
        // Quotes group inside a word and are dropped.
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p \"\"", {"p", ""}},
        {"p \"\" x", {"p", "", "x"}},
        {"p \"\"\"\"", {"p", ""}},
        // An unbalanced quote runs to the end of the line.
        {"p \"D:\\a b /START", {"p", "D:\\a b /START"}},
        {"p \"", {"p", ""}},
        // Characters above 127 (ANSI text) are not white space.
        {"p \xe9t\xe9", {"p", "\xe9t\xe9"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.words) << "line: " << c.line;
}

TEST(SplitCommandLine, VeryLongLineKeepsEveryCharacter) {
    std::string line = "prog /BKP \"";
    line += std::string(30000, 'x');
    const Words w = SplitCommandLine(line);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[2].size(), 30000u);
}

TEST(ParamIndex, FindsTheLastMatchingSwitch) {
    struct Case {
        Words args;
        const char* name;
        int expected;
    };
    const Case cases[] = {
        {{"p", "/START"}, "START", 1},
        {{"p", "/start"}, "START", 1},
        {{"p", "/StArT"}, "START", 1},
        {{"p", "-START"}, "START", 0},
        {{"p", "/STARTX"}, "START", 0},
        {{"p", "START"}, "START", 0},
        {{"p", "//START"}, "START", 0},
        {{"/START"}, "START", 0}, // argument 0 is the program itself
        {{"p", "/BKP", "D:\\a", "/BKP", "E:\\b"}, "BKP", 3},
        {{"p", "/?"}, "?", 1},
        {{"p", "/help"}, "HELP", 1},
        {{"p", "/skip_vmware_check"}, "SKIP_VMWARE_CHECK", 1},
        // Only A to Z fold: an accented capital is not the same letter.
        {{"p", "/\xc9"}, "\xe9", 0},
        {{"p", "/"}, "", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParamIndex(c.args, c.name), c.expected) << c.name;
    }
}
