#include "code_pages.h"
#include "config/control_list.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::unit_test;

TEST(TextCase, WithoutAnInstalledCodePageOnlyAsciiLettersFold) {
    EXPECT_TRUE(SameTextIgnoringCase("C:\\VMs\\A.VMX", "c:\\vms\\a.vmx"));
    EXPECT_FALSE(SameTextIgnoringCase("\xC9t\xE9", "\xE9T\xC9"));
    EXPECT_EQ(InstalledAnsiCodePage().ToWide("a\xE9"), u"a\u00E9");
}

TEST(TextCase, WesternLettersFoldAndOtherBytesStay) {
    ScopedCodePage cp(Cp1252());
    EXPECT_TRUE(SameTextIgnoringCase("C:\\VMs\\A.VMX", "c:\\vms\\a.vmx"));
    EXPECT_TRUE(SameTextIgnoringCase("\xC9t\xE9", "\xE9T\xC9")); // Été
    EXPECT_TRUE(SameTextIgnoringCase("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"));
    EXPECT_FALSE(SameTextIgnoringCase("\xD7", "\xF7")); // multiplication and division signs
    EXPECT_FALSE(SameTextIgnoringCase("\xDF", "ss"));
    EXPECT_FALSE(SameTextIgnoringCase("[", "{")); // not letters
    EXPECT_FALSE(SameTextIgnoringCase("@", "`"));
    EXPECT_FALSE(SameTextIgnoringCase("a.vmx", "a.vmx "));
    EXPECT_EQ(FoldCase(std::string("A\0B\xC9\x9F", 5)), std::string("a\0b\xE9\xFF", 5));
    EXPECT_EQ(KindOf("C:\\VMs\\t.VMTM"), EntryKind::Team);
}

TEST(TextCase, AnotherSingleByteCodePageFoldsByItsOwnLetters) {
    // Bytes whose letters differ between the two: Cyrillic in 1251, Western in 1252.
    const struct {
        const char *a, *b;
        bool in1252, in1251;
    } cases[] = {
        {"\xC0", "\xE0", true, true},  // À à; А а
        {"\x8A", "\x9A", true, true},  // Š š; Љ љ
        {"\xB2", "\xB3", false, true}, // ² ³; І і
        {"\xA8", "\xB8", false, true}, // ¨ ¸; Ё ё
        {"\x8F", "\x9F", false, true}, // none, Ÿ; Џ џ
        {"\x9F", "\xFF", true, false}, // Ÿ ÿ; џ я
        {"\xD7", "\xF7", false, true}, // × ÷; Ч ч
        {"\xA5", "\xB4", false, true}, // ¥ ´; Ґ ґ
        {"\xC4", "\xE4", true, true},  // Ä ä; Д д
    };
    {
        ScopedCodePage cp(Cp1252());
        for (const auto& c : cases)
            EXPECT_EQ(SameTextIgnoringCase(c.a, c.b), c.in1252) << "1252: " << c.a << " " << c.b;
    }
    ScopedCodePage cp(Cp1251());
    EXPECT_EQ(InstalledAnsiCodePage().Number(), 1251u);
    for (const auto& c : cases)
        EXPECT_EQ(SameTextIgnoringCase(c.a, c.b), c.in1251) << "1251: " << c.a << " " << c.b;
    EXPECT_EQ(FoldCase("\xC4\xE4\xB2\x8A"), "\xE4\xE4\xB3\x9A");
}

TEST(TextCase, LettersFoldAsTheFileSystemComparesThemByTheirUpperCase) {
    // Dotless ı is upper-cased to I, so ı, I and i are one name; İ is not lower-cased into them.
    ScopedCodePage cp(Cp1254());
    EXPECT_TRUE(SameTextIgnoringCase("\xFD", "I"));
    EXPECT_TRUE(SameTextIgnoringCase("\xFD", "i"));
    EXPECT_FALSE(SameTextIgnoringCase("\xDD", "i"));
    EXPECT_FALSE(SameTextIgnoringCase("\xDD", "\xFD"));
    EXPECT_TRUE(SameTextIgnoringCase("\xD0\xDE", "\xF0\xFE")); // Ğ Ş
    EXPECT_FALSE(SameTextIgnoringCase("\x8E", "\x9E"));        // Ž ž are not in this code page
    EXPECT_EQ(FoldCase("I\xFD\xDD"), "ii\xDD");
}

TEST(TextCase, AMultibyteCodePageFoldsSingleBytesOnlyAndReadsDoubleBytes) {
    ScopedCodePage cp(Cp932());
    EXPECT_TRUE(SameTextIgnoringCase("C:\\A\xB1", "c:\\a\xB1"));
    // Trail bytes are no letters: katakana a (83 41) and di (83 61) differ.
    EXPECT_FALSE(SameTextIgnoringCase("\x83\x41", "\x83\x61"));
    EXPECT_EQ(FoldCase("\x83\x41"
                       "B\x83"),
              "\x83\x41"
              "b\x83");
    // Full-width letters are double-byte characters and keep their case.
    EXPECT_FALSE(SameTextIgnoringCase("\x82\x60", "\x82\x81"));
    // A suffix counts only where a character starts: here 'V' is the trail byte of katakana si.
    EXPECT_FALSE(EndsWithIgnoringCase("C:\\x\x83VmTm", "vmtm"));
    EXPECT_EQ(KindOf("C:\\x\x83VmTm"), EntryKind::VM);
    EXPECT_EQ(KindOf("C:\\x\x83\x41VmTm"), EntryKind::Team);
    EXPECT_FALSE(EndsWithIgnoringCase("Tm", "VmTm"));

    const AnsiCodePage& page = InstalledAnsiCodePage();
    EXPECT_EQ(page.ToWide("\x82\xA0"
                          "a\xB1\x83"),
              u"\u3042a\uFF71\u30FB");
    std::string out;
    EXPECT_TRUE(page.AppendAnsi(u"\u3042a\uFF71", out));
    EXPECT_FALSE(page.AppendAnsi(u"\u4E00\u30FB", out)); // neither is written in this table
    EXPECT_EQ(out, "\x82\xA0"
                   "a\xB1??");
}
