#include "code_pages.h"
#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::unit_test;
using Keys = std::vector<std::string>;

namespace {

template <size_t N> std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

std::string Get(const IniFile& ini, const char* section, const char* key) {
    return ini.Value(section, key).value_or("<none>");
}

Keys ControlKeys(const IniFile& ini) {
    return ini.ReadKeyLines("Control").keys;
}

} // namespace

TEST(ConfigFileFormat, EmptyListWithBothOptionsOff) {
    EXPECT_EQ(FormatConfigFile(false, false, {}),
              "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n[Control]\r\n");
}

TEST(ConfigFileFormat, EntriesInOrderWithTheirFlagsUnchanged) {
    EXPECT_EQ(
        FormatConfigFile(true, false,
                         {{"C:\\VMs\\a.vmx", true}, {"DELAY: 5", false}, {"x=y", true}, {" b ", false}}),
        "[Options]\r\n  BkpAll = -1\r\n  UseSnapshot = 0\r\n[Control]\r\n"
        "  C:\\VMs\\a.vmx = -1\r\n  DELAY: 5 = 0\r\n  x=y = -1\r\n   b  = 0\r\n");
    EXPECT_EQ(FormatConfigFile(false, true, {}),
              "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = -1\r\n[Control]\r\n");
}

TEST(ConfigFileFormat, WhatASaveAndALoadGiveBack) {
    struct Case {
        ControlEntry saved;
        std::optional<ControlEntry> loaded; // nullopt: the text is lost
    };
    const Case cases[] = {
        {{"C:\\VMs\\a.vmx", true}, ControlEntry{"C:\\VMs\\a.vmx", true}},
        {{"C:\\VMs\\b.vmx", false}, ControlEntry{"C:\\VMs\\b.vmx", false}},
        {{"PROMPT:", true}, ControlEntry{"PROMPT:", true}},
        {{"DELAY: 5", true}, ControlEntry{"DELAY: 5", true}},
        {{"abc", true}, ControlEntry{"abc", true}}, // shorter than 5: loaded all the same
        {{"a=b", true}, ControlEntry{"a", false}},  // the key ends at the first "="
        {{"C:\\x = y.vmx", true}, ControlEntry{"C:\\x", false}},
        {{"  padded  ", true}, ControlEntry{"padded", true}},     // blanks around the text are lost
        {{"\"quoted\"", true}, ControlEntry{"\"quoted\"", true}}, // keys keep their quotes
        {{";comment.vmx", true}, std::nullopt},                   // read as a comment
        // A text in brackets reads back as a section header: a datastore path such as
        // "[standard] vm/vm.vmx" does not survive a reload.
        {{"[standard] vm/vm.vmx", true}, std::nullopt},
    };
    for (const Case& c : cases) {
        const IniFile ini(FormatConfigFile(false, false, {c.saved}));
        const Keys keys = ControlKeys(ini);
        if (!c.loaded) {
            EXPECT_TRUE(keys.empty()) << c.saved.text;
            continue;
        }
        ASSERT_EQ(keys.size(), 1u) << c.saved.text;
        EXPECT_EQ(keys[0], c.loaded->text);
        EXPECT_EQ(IniBoolean(ini.Value("Control", keys[0])), c.loaded->enabled) << c.saved.text;
    }
}

TEST(IniBoolean, FlagValues) {
    struct Case {
        std::optional<std::string> value;
        bool flag;
    };
    const Case cases[] = {
        {"-1", true},         {"1", true},           {"7", true},           {"0x10", true},
        {"0X10", true},       {"$10", true},         {"x1", true},          {"0x0x1", false},
        {"0", false},         {"", false},           {"true", false},       {"yes", false},
        {"0x", false},        {"0x0", false},        {"$0", false},         {"-0", false},
        {"- 1", false},       {"0x-1", false},       {"1 ", false},         {"$FFFFFFFF", true},
        {"0xFFFFFFFF", true}, {"2147483648", false}, {std::nullopt, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniBoolean(c.value), c.flag) << c.value.value_or("<none>");
}

TEST(IniFile, ReadingRules) {
    ScopedCodePage cp(Cp1252());
    struct Case {
        const char* what;
        std::string file;
        Keys keys;                                               // of [Control]
        std::vector<std::pair<std::string, std::string>> values; // key -> value or "<none>"
        Keys skipped = {};                                       // lines of [Control] with an empty key
    };
    const Case cases[] = {
        {"section name in lower case", "[control]\r\n  a = -1\r\n", {"a"}, {{"A", "-1"}}},
        {"blanks and tabs trimmed, no-break space kept",
         "[Control]\r\n\t k1 \t=\t v \t\r\n\x1a"
         "k2\x1a=\x1a"
         "2\r\n\xA0k3=\xA0"
         "3\r\n",
         {"k1", "k2", "\xA0k3"},
         {{"k1", "v"},
          {"K2", "2"},
          {" k2 ", "2"},
          {"\xA0k3", "\xA0"
                     "3"}}},
        {"first of repeated keys",
         "[Control]\r\nk=1\r\nK=2\r\nk=3\r\n",
         {"k", "K", "k"},
         {{"k", "1"}, {"K", "1"}}},
        {"line without '=' hides a later key",
         "[Control]\r\nfoo\r\nfoo=1\r\nbar=2\r\n",
         {"foo", "bar"},
         {{"foo", "<none>"}, {"bar", "2"}}},
        {"comments not listed, other marks are keys",
         "[Control]\r\n;c=1\r\n#h=2\r\n",
         {"#h"},
         {{"#h", "2"}, {";c", "1"}}},
        {"'=' in the value", "[Control]\r\na=b=c\r\n", {"a"}, {{"a", "b=c"}}},
        {"quotes: one pair of either kind goes",
         "[Control]\r\na=\"q\"\r\nb='s'\r\nc=\"x\r\nd=\"\r\ne=\"\"\r\nf=\"a'\r\n",
         {"a", "b", "c", "d", "e", "f"},
         {{"a", "q"}, {"b", "s"}, {"c", "\"x"}, {"d", "\""}, {"e", ""}, {"f", "\"a'"}}},
        {"CR alone ends a line", "[Control]\ra=1\rb=2\r", {"a", "b"}, {{"b", "2"}}},
        {"LF alone ends a line", "[Control]\na=1\n\n\nb=2", {"a", "b"}, {{"b", "2"}}},
        {"only the first section of a name",
         "[Control]\r\na=1\r\n[Other]\r\n[CONTROL]\r\nb=2\r\na=9\r\n",
         {"a"},
         {{"a", "1"}, {"b", "<none>"}}},
        {"section names trimmed, text after the last ']' ignored",
         "[ Control ] tail\r\na=1\r\n",
         {"a"},
         {{"a", "1"}}},
        {"a header without ']' is a key line",
         "[Control]\r\n[Options\r\na=1\r\n",
         {"a"},
         {{"[Options", "<none>"}}},
        {"an empty key is skipped, and the keys after it still read",
         "[Control]\r\na=1\r\n = 2\r\nb=3\r\n",
         {"a", "b"},
         {{"b", "3"}, {"", "2"}},
         {"= 2"}},
        {"an empty key first", "[Control]\r\n=1\r\na=2\r\n", {"a"}, {{"a", "2"}}, {"=1"}},
        {"the first of two empty keys answers", "[Control]\r\n=1\r\n=2\r\n", {}, {{"", "1"}}, {"=1", "=2"}},
        {"a zero byte first makes an empty key",
         Bytes("[Control]\r\n\0x=1\r\n=2\r\n"),
         {},
         {{"", "1"}},
         {Bytes("\0x=1"), "=2"}},
        {"zero bytes end names and values, not lines",
         Bytes("[Control]\r\nab\0cd=1\r\nk=v\0x\r\nr=3\r\n"),
         {"ab", "k", "r"},
         {{"ab", "1"}, {"k", "v"}, {"r", "3"}}},
        {"keys outside [Control] are not its keys", "a=1\r\n[Options]\r\nb=2\r\n", {}, {{"a", "<none>"}}},
        {"letter case folds for ASCII only",
         "[Control]\r\n\xC9t\xE9=1\r\n\xE9T\xC9=2\r\n",
         {"\xC9t\xE9", "\xE9T\xC9"},
         {{"\xE9T\xC9", "2"}, {"\xC9T\xC9", "<none>"}}},
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF[Control]\r\n\xC3\xA9=1\r\n\xE2\x82\xAC=2\r\n\xE4\xB8\x80=3\r\n",
         {"\xE9", "\x80", "?"},
         {{"\xE9", "1"}, {"\x80", "2"}, {"?", "<none>"}}},
        {"UTF-16 with its mark",
         Bytes("\xFF\xFE[\0c\0o\0n\0t\0r\0o\0l\0]\0\n\0k\0=\0\xAC\x20"),
         {"k"},
         {{"k", "\x80"}}},
    };
    for (const Case& c : cases) {
        const IniFile ini(c.file);
        const IniFile::KeyLines lines = ini.ReadKeyLines("Control");
        EXPECT_EQ(lines.keys, c.keys) << c.what;
        EXPECT_EQ(lines.skipped, c.skipped) << c.what;
        for (const auto& [key, value] : c.values)
            EXPECT_EQ(Get(ini, "Control", key.c_str()), value) << c.what << ": " << key;
    }
}

TEST(IniFile, MarkedTextIsHandedOutInTheInstalledCodePage) {
    // Д, é and あ, in UTF-8 and in UTF-16.
    for (const std::string& file :
         {std::string("\xEF\xBB\xBF[Control]\r\n\xD0\x94=1\r\n\xC3\xA9=2\r\n\xE3\x81\x82=3\r\n"),
          Bytes("\xFF\xFE[\0C\0o\0n\0t\0r\0o\0l\0]\0\n\0\x14\x04=\0\x31\0\n\0\xE9\0=\0\x32\0\n\0\x42\x30="
                "\0\x33\0")}) {
        const IniFile ini(file);
        {
            ScopedCodePage cp(Cp1251());
            const IniFile::KeyLines lines = ini.ReadKeyLines("Control");
            EXPECT_EQ(lines.keys, (Keys{"\xC4", "?", "?"}));
            EXPECT_EQ(lines.inexact, (std::vector<bool>{false, true, true}));
            EXPECT_EQ(Get(ini, "Control", "\xC4"), "1");
            EXPECT_EQ(Get(ini, "Control", "\xE4"), "<none>"); // ASCII letter case only, as the platform
            EXPECT_EQ(Get(ini, "Control", "\xE9"), "<none>");
        }
        {
            ScopedCodePage cp(Cp1252());
            EXPECT_EQ(ControlKeys(ini), (Keys{"?", "\xE9", "?"}));
            EXPECT_EQ(Get(ini, "Control", "\xE9"), "2");
            EXPECT_EQ(Get(ini, "Control", "\xC4"), "<none>");
        }
        ScopedCodePage cp(Cp932());
        EXPECT_EQ(ControlKeys(ini).at(2), "\x82\xA0");
        EXPECT_EQ(Get(ini, "Control", "\x82\xA0"), "3");
    }

    // The system writes a letter the code page lacks as a similar one, which does not find it.
    {
        CodePageChars chars = Cp1252();
        chars.written.assign(0x10000, '?');
        for (size_t b = 256; b-- > 0;)
            chars.written[chars.singles[b]] = static_cast<uint16_t>(b);
        chars.written[0x0100] = 'A';
        ScopedCodePage cp(chars);
        const IniFile ini("\xEF\xBB\xBF[Control]\r\n\xC4\x80=1\r\n");
        const IniFile::KeyLines lines = ini.ReadKeyLines("Control");
        EXPECT_EQ(lines.keys, Keys{"A"});
        EXPECT_EQ(lines.inexact, std::vector<bool>{true});
        EXPECT_EQ(Get(ini, "Control", "A"), "<none>");
    }

    // In 8-bit text the trail byte of a double-byte character is no letter.
    ScopedCodePage cp(Cp932());
    const IniFile ini("[\x83\x41]\r\n\x83\x41=1\r\na\x83\x41=2\r\n");
    EXPECT_EQ(Get(ini, "\x83\x41", "\x83\x41"), "1");
    EXPECT_EQ(Get(ini, "\x83\x41", "A\x83\x41"), "2");
    EXPECT_EQ(Get(ini, "\x83\x41", "\x83\x61"), "<none>");
    EXPECT_EQ(Get(ini, "\x83\x61", "\x83\x41"), "<none>");
    EXPECT_EQ(ini.ReadKeyLines("\x83\x61").keys, Keys{});
}

TEST(IniFile, SectionHeaders) {
    const IniFile ini(Bytes("k=0\r\n[Options]\r\nk=1\r\n[]\r\n[ a b ] tail\r\nk=3\r\n[x\0y]\r\nk=4\r\n"
                            "[Options]\r\nk=5\r\nj=5\r\n[\x1a"
                            "Q]\r\nk=6\r\n[no end\r\nj=7\r\n"));
    EXPECT_EQ(Get(ini, "", "k"), "0"); // lines before any header
    EXPECT_EQ(Get(ini, "options", "k"), "1");
    EXPECT_EQ(Get(ini, "Options", "j"), "<none>"); // only the first section of a name
    EXPECT_EQ(Get(ini, "a b", "k"), "3");
    EXPECT_EQ(Get(ini, "x", "k"), "4");
    EXPECT_EQ(Get(ini, "Q", "k"), "6");
    EXPECT_EQ(Get(ini, "Q", "j"), "7"); // "[no end" is a key line of [Q]
    EXPECT_EQ(Get(ini, "no end", "j"), "<none>");
}

TEST(IniFile, EveryKeyOfALongListIsRead) {
    std::string file = "[Control]\r\n";
    for (int i = 0; i < 2000; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "k%08d", i);
        file += "  " + std::string(key) + " = -1\r\n";
    }
    file += std::string(16383, 'o') + "=0\r\nnext=1\r\n";
    const IniFile ini(file);
    const Keys keys = ControlKeys(ini);
    ASSERT_EQ(keys.size(), 2002u);
    EXPECT_EQ(keys[1999], "k00001999");
    EXPECT_EQ(keys[2000], std::string(16383, 'o'));
    EXPECT_EQ(keys[2001], "next");
    const std::vector<std::optional<std::string>> values = ini.Values("Control", keys);
    EXPECT_EQ(values[1999], "-1");
    EXPECT_EQ(values[2000], "0");
    EXPECT_EQ(values[2001], "1");
}

TEST(IniFile, ValuesStopAtTheBuffer) {
    const IniFile ini("[Options]\r\nplain=" + std::string(3000, 'c') + "\r\nq=\"" + std::string(2047, 'a') +
                      "\"\r\nr=\"" + std::string(2046, 'b') + "\"\r\ns=\"" + std::string(2048, 'd') +
                      "\"\r\n");
    EXPECT_EQ(Get(ini, "Options", "plain"), std::string(2047, 'c'));
    // When the unquoted value just fills the buffer the platform drops one character too many.
    EXPECT_EQ(Get(ini, "Options", "q"), std::string(2046, 'a'));
    EXPECT_EQ(Get(ini, "Options", "r"), std::string(2046, 'b'));
    EXPECT_EQ(Get(ini, "Options", "s"), std::string(2047, 'd'));
    EXPECT_EQ(ini.Value("Options", "r", 1), "");
    EXPECT_EQ(ini.Value("Options", "plain", 4), "ccc");
}

TEST(IniFile, HundredThousandCharacterLines) {
    const std::string huge(100000, 'h');
    const IniFile ini("[Control]\r\n" + huge + "=-1\r\nk=" + huge + "\r\n[Options]\r\nBkpAll=-1\r\n");
    EXPECT_EQ(ControlKeys(ini), (Keys{huge, "k"}));
    EXPECT_EQ(Get(ini, "Control", "k"), std::string(2047, 'h'));
    EXPECT_TRUE(IniBoolean(ini.Value("Options", "BkpAll")));
}

TEST(IniFile, BinaryGarbageGivesBoundedAnswers) {
    std::mt19937 rng(4);
    for (int round = 0; round < 500; ++round) {
        std::string bytes(rng() % 3000, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        if (round % 2) bytes.insert(rng() % (bytes.size() + 1), "\n[Control]\n");
        if (round % 7 == 0) bytes.insert(0, round % 14 ? "\xEF\xBB\xBF" : "\xFF\xFE");
        const IniFile ini(bytes);
        const IniFile::KeyLines lines = ini.ReadKeyLines("Control");
        ASSERT_EQ(lines.inexact.size(), lines.keys.size());
        for (const std::string& key : lines.keys)
            ASSERT_TRUE(!key.empty() && key.find('\0') == std::string::npos && key.front() != ';');
        for (const auto& v : ini.Values("Control", lines.keys))
            ASSERT_LE(v.value_or("").size(), ValueBufferSize - 1);
    }
}

TEST(IniFile, EightMegabytesReadInOnePass) {
    // A reader that goes back over the text for every line (one that copies the rest of it, say) needs
    // about 45 s of processor time here; one pass needs well under a second, also under the sanitizers.
    // Processor time, not the clock: the unit tiers run at a low priority beside the Wine tiers.
    std::string bytes = "[Options]\r\nBkpAll=1\r\n[Control]\r\n";
    const std::string line = "  C:\\VMs\\some machine\\some machine.vmx = -1\r\n";
    size_t lines = 0;
    for (; bytes.size() < 8u * 1024 * 1024; ++lines)
        bytes += line;
    bytes += "[Options]\r\nBkpAll=0\r\n";
    const std::clock_t start = std::clock();
    const IniFile ini(std::move(bytes));
    const Keys keys = ControlKeys(ini);
    ASSERT_EQ(keys.size(), lines);
    EXPECT_EQ(ini.Values("Control", {keys.back()}).front(), "-1");
    EXPECT_TRUE(IniBoolean(ini.Value("Options", "BkpAll")));
    EXPECT_LT(std::clock() - start, 10 * CLOCKS_PER_SEC);
}
