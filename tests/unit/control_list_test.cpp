#include "code_pages.h"
#include "config/control_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::unit_test;

namespace {

std::vector<ControlEntry> Entries(const ControlList& list) {
    return list.Entries();
}

// A list as the user would have it after a load: not changed since.
ControlList Loaded(std::vector<ControlEntry> entries) {
    ControlList list;
    list.Assign(std::move(entries));
    list.SetUnsavedChanges(false);
    return list;
}

} // namespace

TEST(EntryKind, RecognisedFromTheTextAlone) {
    struct Case {
        const char* text;
        EntryKind kind;
    };
    const Case cases[] = {
        {"", EntryKind::Illegal},
        {"abcd", EntryKind::Illegal},
        {"VmTm", EntryKind::Illegal}, // the length test comes first
        {"DELA", EntryKind::Illegal},
        {"C:\\VMs\\a.vmx", EntryKind::VM},
        {"abcde", EntryKind::VM},
        {"C:\\VMs\\t.vmtm", EntryKind::Team},
        {"C:\\VMs\\T.VMTM", EntryKind::Team},
        {"aVmTm", EntryKind::Team},
        {"C:\\VMs\\t.vmtm ", EntryKind::VM}, // the last four characters, exactly
        {"DELAY:10", EntryKind::Delay},
        {"DELAY: 5", EntryKind::Delay},
        {"DELAY:", EntryKind::Delay},
        {"delay:10", EntryKind::VM}, // case-sensitive
        {"DELAY 10", EntryKind::VM},
        {"WAIT:30", EntryKind::Wait},
        {"WAIT:", EntryKind::Wait},
        {"Wait:30", EntryKind::VM},
        {"WAIT:t.vmtm", EntryKind::Team},
        {"PROMPT:", EntryKind::Prompt},
        {"PROMPT:anything", EntryKind::Prompt},
        {"Prompt:", EntryKind::VM},
        {"SKIP:C:\\VMs\\a.vmx", EntryKind::SkipMarker},
        {"SKIP:", EntryKind::SkipMarker},
        {"skip:C:\\a.vmx", EntryKind::VM},
        // The start sequence's order: skip marker, then Team, then delay and prompt.
        {"SKIP:C:\\t.vmtm", EntryKind::SkipMarker},
        {"DELAY:t.vmtm", EntryKind::Team},
        {"PROMPT:vmtm", EntryKind::Team},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KindOf(c.text), c.kind) << c.text;
    EXPECT_EQ(DelaySeconds("DELAY: 5"), " 5");
    EXPECT_EQ(DelaySeconds("DELAY:"), "");
    EXPECT_EQ(DelaySeconds("PROMPT:"), "");
    EXPECT_EQ(WaitSeconds("WAIT: 5"), " 5");
    EXPECT_EQ(WaitSeconds("DELAY:5"), "");
    EXPECT_TRUE(IsWaitText("WAIT:"));
    EXPECT_FALSE(IsDelayText("WAIT:5"));
}

TEST(ControlList, AddListItemAppendsDisabledAndMarksTheListChanged) {
    ControlList list = Loaded({{"C:\\a.vmx", true}});
    list.Select(0);
    EXPECT_EQ(list.AddListItem("x"), 1u);
    EXPECT_EQ(list.AddListItem("x"), 2u); // no duplicate test here
    EXPECT_EQ(Entries(list), (std::vector<ControlEntry>{{"C:\\a.vmx", true}, {"x", false}, {"x", false}}));
    EXPECT_EQ(list.Selection(), 0u);
    EXPECT_TRUE(list.HasUnsavedChanges());

    const size_t long_ = list.AddListItem(std::string(5000, 'p'));
    EXPECT_EQ(list.Text(long_).size(), MaxEntryText);
}

TEST(ControlList, CommandsWithNothingToActOnChangeNothing) {
    ControlList empty;
    EXPECT_FALSE(empty.DeleteSelected());
    EXPECT_FALSE(empty.MoveUp());
    EXPECT_FALSE(empty.MoveDown());
    EXPECT_FALSE(empty.Toggle(0));
    EXPECT_EQ(empty.AddRunningVms({}), 0u);
    EXPECT_FALSE(empty.HasUnsavedChanges());

    const std::vector<ControlEntry> three = {{"C:\\a.vmx", true}, {"C:\\b.vmx", false}, {"C:\\c.vmx", true}};
    ControlList list = Loaded(three);
    EXPECT_FALSE(list.DeleteSelected()); // nothing selected
    EXPECT_FALSE(list.MoveUp());
    EXPECT_FALSE(list.MoveDown());
    list.Select(0);
    EXPECT_FALSE(list.MoveUp());
    list.Select(2);
    EXPECT_FALSE(list.MoveDown());
    list.Select(7); // past the end selects nothing
    EXPECT_EQ(list.Selection(), std::nullopt);
    EXPECT_EQ(Entries(list), three);
    EXPECT_FALSE(list.HasUnsavedChanges());
}

TEST(ControlList, MovedEntryTakesItsFlagAlongAndStaysSelected) {
    ControlList list =
        Loaded({{"C:\\a.vmx", true}, {"C:\\b.vmx", false}, {"PROMPT:", true}, {"C:\\d.vmx", false}});
    list.Select(0);
    EXPECT_TRUE(list.MoveDown());
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_TRUE(list.MoveDown());
    EXPECT_TRUE(list.MoveDown());
    EXPECT_FALSE(list.MoveDown()); // now last
    EXPECT_EQ(list.Selection(), 3u);
    EXPECT_EQ(Entries(list),
              (std::vector<ControlEntry>{
                  {"C:\\b.vmx", false}, {"PROMPT:", true}, {"C:\\d.vmx", false}, {"C:\\a.vmx", true}}));
    EXPECT_TRUE(list.MoveUp());
    EXPECT_EQ(list.Selection(), 2u);
    EXPECT_EQ(list.At(2), (ControlEntry{"C:\\a.vmx", true}));
    EXPECT_EQ(list.At(3), (ControlEntry{"C:\\d.vmx", false}));
}

TEST(ControlList, DeleteRemovesTheSelectedEntryAndItsDuplicateRecord) {
    ControlList list = Loaded({{"C:\\a.vmx", true}, {"C:\\b.vmx", false}});
    list.Select(0);
    EXPECT_TRUE(list.DeleteSelected());
    EXPECT_EQ(Entries(list), (std::vector<ControlEntry>{{"C:\\b.vmx", false}}));
    EXPECT_EQ(list.Selection(), std::nullopt);
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_FALSE(list.Contains("C:\\A.VMX"));
    EXPECT_TRUE(list.AddFile("C:\\A.VMX"));
}

TEST(ControlList, FilesAreAddedOnceWhateverTheirLetterCase) {
    ScopedCodePage cp(Cp1252());
    ControlList list;
    EXPECT_TRUE(list.AddFile("C:\\VMs\\Win XP\\Win XP.vmx"));
    EXPECT_FALSE(list.AddFile("c:\\vms\\WIN XP\\win xp.VMX"));
    EXPECT_TRUE(list.AddFile("C:\\VMs\\Win XP\\Win XP.vmx ")); // whole text: the blank counts
    EXPECT_TRUE(list.AddFile("D:\\\xC9t\xE9.vmx"));
    EXPECT_FALSE(list.AddFile("d:\\\xE9T\xC9.VMX"));
    // Kind plays no part: a file named like a delay is an ordinary entry, added disabled.
    EXPECT_TRUE(list.AddFile("DELAY:10"));
    EXPECT_EQ(list.Count(), 4u);
    for (const ControlEntry& e : list.Entries())
        EXPECT_FALSE(e.enabled) << e.text;
}

TEST(ControlList, DelayInput) {
    struct Case {
        const char* typed;
        DelayInput result;
        const char* entry; // nullptr: nothing added
    };
    const Case cases[] = {
        {"10", DelayInput::Added, "DELAY:10"},
        {" 7", DelayInput::Added, "DELAY: 7"},
        {"$A", DelayInput::Added, "DELAY:$A"},
        {"0x1E", DelayInput::Added, "DELAY:0x1E"},
        {"+3", DelayInput::Added, "DELAY:+3"},
        {"2147483647", DelayInput::Added, "DELAY:2147483647"},
        {"7 ", DelayInput::NotAnInteger, nullptr},
        {"", DelayInput::NotAnInteger, nullptr},
        {"abc", DelayInput::NotAnInteger, nullptr},
        {"1.5", DelayInput::NotAnInteger, nullptr},
        {"2147483648", DelayInput::NotAnInteger, nullptr},
        {"0", DelayInput::NotNatural, nullptr},
        {"-3", DelayInput::NotNatural, nullptr},
        {"$FFFFFFFF", DelayInput::NotNatural, nullptr}, // -1
    };
    // A wait entry takes the same input by the same rules, with its own prefix.
    for (const bool wait : {false, true}) {
        for (const Case& c : cases) {
            ControlList list = Loaded({{"C:\\a.vmx", false}});
            list.Select(0);
            EXPECT_EQ(wait ? list.AddWait(c.typed) : list.AddDelay(c.typed), c.result) << c.typed;
            if (c.entry) {
                ASSERT_EQ(list.Count(), 2u) << c.typed;
                const std::string text = wait ? "WAIT:" + std::string(c.entry).substr(6) : c.entry;
                EXPECT_EQ(list.At(1), (ControlEntry{text, true})) << c.typed;
                EXPECT_TRUE(list.HasUnsavedChanges());
            } else {
                EXPECT_EQ(list.Count(), 1u) << c.typed;
                EXPECT_FALSE(list.HasUnsavedChanges()) << c.typed;
            }
            EXPECT_EQ(list.Selection(), 0u);
        }
    }
    EXPECT_STREQ(InvalidDelayText(DelayInput::NotAnInteger), "Must be an integer");
    EXPECT_STREQ(InvalidDelayText(DelayInput::NotNatural),
                 "Must be a \"natural number\", i.e. an integer > 0.");
    EXPECT_EQ(InvalidDelayText(DelayInput::Added), nullptr);
}

TEST(ControlList, PromptsAndDelaysMayRepeat) {
    ControlList list;
    list.AddPrompt();
    list.AddPrompt();
    list.AddDelay("10");
    list.AddDelay("10");
    list.AddWait("10");
    list.AddWait("10");
    EXPECT_EQ(Entries(list), (std::vector<ControlEntry>{{"PROMPT:", true},
                                                        {"PROMPT:", true},
                                                        {"DELAY:10", true},
                                                        {"DELAY:10", true},
                                                        {"WAIT:10", true},
                                                        {"WAIT:10", true}}));
}

TEST(ControlList, RunningVmsAreTestedAgainstTheGrowingList) {
    ControlList list = Loaded({{"C:\\VMs\\b.vmx", true}});
    const std::vector<std::string> running = {"C:\\VMs\\a.vmx", "C:\\VMS\\A.VMX", "c:\\vms\\B.vmx",
                                              "C:\\VMs\\c.vmx"};
    EXPECT_EQ(list.AddRunningVms(running), 2u);
    EXPECT_EQ(Entries(list),
              (std::vector<ControlEntry>{
                  {"C:\\VMs\\b.vmx", true}, {"C:\\VMs\\a.vmx", false}, {"C:\\VMs\\c.vmx", false}}));
    EXPECT_TRUE(list.HasUnsavedChanges());

    ControlList all = Loaded({{"C:\\VMs\\a.vmx", false}});
    EXPECT_EQ(all.AddRunningVms({"c:\\VMS\\a.VMX"}), 0u);
    EXPECT_FALSE(all.HasUnsavedChanges());
}

TEST(ControlList, OnlyTheUsersToggleMarksTheListChanged) {
    ControlList list = Loaded({{"C:\\a.vmx", false}});
    list.SetEnabled(0, true);
    EXPECT_TRUE(list.Enabled(0));
    EXPECT_FALSE(list.HasUnsavedChanges());
    EXPECT_TRUE(list.Toggle(0));
    EXPECT_FALSE(list.Enabled(0));
    EXPECT_TRUE(list.HasUnsavedChanges());
}

TEST(ControlList, ReplacedTextKeepsFlagSelectionAndSavedStateAndFeedsTheDuplicateTest) {
    ControlList list = Loaded({{"C:\\a.vmx", true}, {"C:\\b.vmx", false}});
    list.Select(1);
    list.ReplaceText(0, "SKIP:C:\\a.vmx");
    EXPECT_EQ(list.At(0), (ControlEntry{"SKIP:C:\\a.vmx", true}));
    EXPECT_EQ(list.Selection(), 1u);
    EXPECT_FALSE(list.HasUnsavedChanges());
    EXPECT_FALSE(list.Contains("c:\\A.vmx"));
    EXPECT_TRUE(list.Contains("skip:c:\\a.vmx"));

    // A marker on an entry already at the length limit comes off again without loss.
    ControlList full;
    const std::string longest(MaxEntryText, 'q');
    full.AddListItem(longest);
    full.ReplaceText(0, std::string(SkipPrefix) + longest);
    full.ReplaceText(0, full.Text(0).substr(SkipPrefix.size()));
    EXPECT_EQ(full.Text(0), longest);
}

TEST(ControlList, AssignKeepsTheFirstOfEqualTextsAndLeavesTheSavedStateAlone) {
    ControlList list;
    list.AddListItem("old");
    list.Select(0);
    list.Assign({{"PROMPT:", true},
                 {"C:\\a.vmx", false},
                 {"PROMPT:", false},
                 {"c:\\A.VMX", true},
                 {std::string(5000, 'z'), true},
                 {std::string(4096, 'z') + "different tail", false}});
    EXPECT_EQ(Entries(list),
              (std::vector<ControlEntry>{
                  {"PROMPT:", true}, {"C:\\a.vmx", false}, {std::string(MaxEntryText, 'z'), true}}));
    EXPECT_EQ(list.Selection(), std::nullopt);
    EXPECT_TRUE(list.HasUnsavedChanges()); // from the AddListItem before; a load clears it itself
    EXPECT_FALSE(list.Contains("old"));
}

TEST(ControlList, TenThousandEntries) {
    ControlList list;
    std::vector<std::string> paths, shouted;
    for (int i = 0; i < 10000; ++i) {
        paths.push_back("C:\\VMs\\Machine " + std::to_string(i) + "\\machine.vmx");
        shouted.push_back("c:\\vms\\MACHINE " + std::to_string(i) + "\\MACHINE.VMX");
    }
    EXPECT_EQ(list.AddRunningVms(paths), 10000u);
    EXPECT_EQ(list.AddRunningVms(shouted), 0u);
    list.Select(9999);
    for (int i = 0; i < 9999; ++i)
        ASSERT_TRUE(list.MoveUp());
    EXPECT_EQ(list.Text(0), paths[9999]);
    EXPECT_EQ(list.Text(1), paths[0]);
    EXPECT_TRUE(list.DeleteSelected());
    EXPECT_TRUE(list.AddFile(shouted[9999]));
}

TEST(ControlList, ObserverHearsWhatChanged) {
    ControlList list = Loaded({{"C:\\a.vmx", true}, {"C:\\b.vmx", false}});
    std::vector<std::pair<ListChange::Kind, size_t>> heard;
    list.SetObserver([&](const ListChange& c) { heard.emplace_back(c.kind, c.index); });
    list.Select(0);
    list.MoveDown();
    list.MoveDown(); // refused: nothing more is heard
    EXPECT_EQ(heard, (std::vector<std::pair<ListChange::Kind, size_t>>{{ListChange::Selection, 0},
                                                                       {ListChange::Swapped, 0},
                                                                       {ListChange::Selection, 1},
                                                                       {ListChange::Unsaved, 0}}));
}
