#include "config/config_store.h"

#include "config/ini_file.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::fakes;

namespace {

const char* const IniPath = "C:\\Tools\\Tarnwick.ini";
const char* const ExePath = "C:\\Tools\\Tarnwick.exe";
const char* const Command = "\"C:\\Tools\\Tarnwick.exe\" /START";
const char* const UnquotedCommand = "C:\\Tools\\Tarnwick.exe /START"; // as earlier versions wrote it

class ConfigStoreTest : public ::testing::Test {
  protected:
    ConfigStoreTest() : writer(files), store(runFiles, files, writer, registry, ui, ui, list) {}
    void File(const std::string& text) { files.files[IniPath] = text; }
    const std::string& Saved() { return files.files[IniPath]; }

    const RunFiles runFiles = RunFiles::Beside(ExePath, "C:\\Tools\\Tarnwick.tmp");
    MemoryFiles files;
    FakeWriter writer;
    FakeAutostart registry;
    RecordingUi ui;
    ControlList list;
    ConfigStore store;
};

} // namespace

TEST_F(ConfigStoreTest, MissingOrUnreadableFileReadsAsEmpty) {
    for (bool unreadable : {false, true}) {
        files.unreadable.clear();
        if (unreadable) files.unreadable.insert(IniPath);
        list.AddListItem("C:\\left over.vmx");
        store.ClickBkpAll(true);
        store.LoadConfig();
        EXPECT_FALSE(store.Options().bkpAll);
        EXPECT_FALSE(store.Options().useSnapshot);
        EXPECT_EQ(list.Count(), 0u);
        EXPECT_FALSE(list.HasUnsavedChanges());
        EXPECT_TRUE(ui.DialogLines().empty());
    }
}

TEST_F(ConfigStoreTest, HandEditedFileLoadsByTheReadingRules) {
    File("[options]\r\nBKPALL=0x10\r\nUseSnapshot = yes\r\n"
         "[control]\r\n"
         "  C:\\VMs\\a.vmx = -1\r\n"
         "  c:\\vms\\A.VMX = 0\r\n" // a repeat, ignoring case: dropped
         "  PROMPT: = 1\r\n"
         "  PROMPT: = 0\r\n" // dropped; the first line's flag stays
         "  abc = 7\r\n"     // shorter than 5 characters: loaded as it is
         "  x=y = -1\r\n"    // key "x", value "y = -1": not a flag
         "  DELAY: 5 = true\r\n"
         "  C:\\VMs\\b.vmx\r\n" // no "=": not listed
         "; C:\\VMs\\c.vmx = -1\r\n");
    store.LoadConfig();
    EXPECT_TRUE(store.Options().bkpAll);
    EXPECT_FALSE(store.Options().useSnapshot);
    EXPECT_EQ(
        list.Entries(),
        (std::vector<ControlEntry>{
            {"C:\\VMs\\a.vmx", true}, {"PROMPT:", true}, {"abc", true}, {"x", false}, {"DELAY: 5", false}}));
    EXPECT_FALSE(list.HasUnsavedChanges());
    EXPECT_EQ(list.Selection(), std::nullopt);
}

TEST_F(ConfigStoreTest, SaveWritesTheExactFileAndLogs) {
    store.LoadConfig();
    list.AddFile("C:\\VMs\\a.vmx");
    list.Toggle(0);
    list.AddDelay(" 7");
    list.AddFile("C:\\VMs\\t.vmtm");
    store.ClickSnapshot(true);
    ASSERT_TRUE(list.HasUnsavedChanges());
    EXPECT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(Saved(), "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = -1\r\n[Control]\r\n"
                       "  C:\\VMs\\a.vmx = -1\r\n  DELAY: 7 = -1\r\n  C:\\VMs\\t.vmtm = 0\r\n");
    EXPECT_FALSE(list.HasUnsavedChanges());
    EXPECT_EQ(ui.Lines("log:"), Trace{"Configuration updated."});
    EXPECT_TRUE(ui.DialogLines().empty());
}

TEST_F(ConfigStoreTest, StopActionsLiveInTheirOwnSectionOnlyForVmEntriesThatDoNotSuspend) {
    File("[Control]\r\nC:\\a.vmx=-1\r\nC:\\b.vmx=0\r\nC:\\c.vmx=0\r\nC:\\t.vmtm=0\r\n[StopAction]\r\n"
         "c:\\A.VMX=SHUTDOWN\r\nC:\\b.vmx = leave\r\nC:\\c.vmx = off\r\nC:\\t.vmtm = leave\r\n");
    store.LoadConfig();
    using enum StopAction;
    EXPECT_EQ(list.Entries(), (std::vector<ControlEntry>{{"C:\\a.vmx", true, ShutDown},
                                                         {"C:\\b.vmx", false, Leave},
                                                         {"C:\\c.vmx", false, Suspend},
                                                         {"C:\\t.vmtm", false, Suspend}}));
    EXPECT_EQ(ui.Lines("log:").front(), "Unknown stop action \"off\" read as suspend: \"C:\\c.vmx\"");
    EXPECT_FALSE(list.ChooseAction(3, Leave) || list.HasUnsavedChanges()); // a Team always suspends
    EXPECT_TRUE(list.ChooseAction(2, Leave) && list.HasUnsavedChanges());
    list.Select(1);
    list.DeleteSelected(); // and its line goes with it
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(Saved().substr(Saved().find("[StopAction]")),
              "[StopAction]\r\n  C:\\a.vmx = shutdown\r\n  C:\\c.vmx = leave\r\n");
}

// ParallelSuspend and BackupKeep alike.
TEST_F(ConfigStoreTest, ToolTimeoutIsSavedAsWrittenAndOnlyWhenTheFileHadIt) {
    File("[Options]\r\nBackupKeep = 3\r\nToolTimeout=  0x3C \r\nBkpAll=1\r\nParallelSuspend= "
         "3\r\n[Control]\r\n"
         "C:\\a.vmx=1\r\n");
    store.LoadConfig();
    EXPECT_EQ(ToolTimeoutSeconds(store.Options()), 60u);
    EXPECT_EQ(ParallelSuspendCount(store.Options()), 3u);
    EXPECT_EQ(BackupKeepCount(store.Options()), 3u);
    list.Toggle(0);
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(
        Saved(),
        "[Options]\r\n  BkpAll = -1\r\n  UseSnapshot = 0\r\n  ToolTimeout = 0x3C\r\n  ParallelSuspend = 3\r\n"
        "  BackupKeep = 3\r\n[Control]\r\n  C:\\a.vmx = 0\r\n");
    // A value that sets no limit is the default's business, and still the user's text to keep.
    File("[Options]\r\nToolTimeout=never\r\nParallelSuspend=0\r\nBackupKeep=0\r\n");
    store.LoadConfig();
    EXPECT_EQ(ToolTimeoutSeconds(store.Options()), std::nullopt);
    EXPECT_EQ(ParallelSuspendCount(store.Options()), 1u);
    EXPECT_EQ(BackupKeepCount(store.Options()), 1u);
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_NE(Saved().find("  ToolTimeout = never\r\n  ParallelSuspend = 0\r\n  BackupKeep = 0\r\n"),
              std::string::npos);

    File("[Options]\r\nBkpAll=0\r\n");
    store.LoadConfig();
    EXPECT_EQ(ToolTimeoutSeconds(store.Options()), std::nullopt);
    EXPECT_EQ(ParallelSuspendCount(store.Options()), 1u);
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(Saved().find("ToolTimeout"), std::string::npos);
    EXPECT_EQ(Saved().find("ParallelSuspend"), std::string::npos);
    EXPECT_EQ(Saved().find("BackupKeep"), std::string::npos);
    EXPECT_EQ(BackupKeepCount(store.Options()), 1u);
}

// A user who never checks the box keeps the file's bytes; once the file has the line, it stays.
TEST_F(ConfigStoreTest, ResumeOthersIsSavedOnlyOnceSetOrWhenTheFileHadIt) {
    const std::string plain =
        "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n  ToolTimeout = 9\r\n[Control]\r\n";
    File(plain);
    store.LoadConfig();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(Saved(), plain);
    store.ClickResumeOthers(true);
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(Saved(), "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = 0\r\n  ResumeOthers = -1\r\n  "
                       "ToolTimeout = 9\r\n[Control]\r\n");
    store.ClickResumeOthers(false);
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_NE(Saved().find("  ResumeOthers = 0\r\n"), std::string::npos);
}

TEST_F(ConfigStoreTest, SavedListComesBackAfterForgettingChanges) {
    store.LoadConfig();
    for (const char* path : {"C:\\VMs\\1.vmx", "C:\\VMs\\2.vmx", "C:\\VMs\\3.vmx"})
        list.AddFile(path);
    list.Toggle(1);
    list.AddPrompt();
    list.AddPrompt(); // both saved; a reload keeps the first
    ASSERT_TRUE(store.SaveConfig().ok);
    const std::vector<ControlEntry> saved = list.Entries();

    list.Select(0);
    list.MoveDown();
    list.MoveDown();
    list.Toggle(0);
    list.AddDelay("10");
    store.ClickBkpAll(true);
    store.LoadConfig(); // Forget Changes
    EXPECT_EQ(list.Entries(), std::vector<ControlEntry>(saved.begin(), saved.end() - 1));
    EXPECT_FALSE(store.Options().bkpAll);
    EXPECT_FALSE(list.HasUnsavedChanges());
}

TEST_F(ConfigStoreTest, FailedWriteKeepsTheOldFileAndTheChanges) {
    File("[Options]\r\n  BkpAll = -1\r\n  UseSnapshot = 0\r\n[Control]\r\n  C:\\old.vmx = -1\r\n");
    store.LoadConfig();
    list.AddFile("C:\\new.vmx");
    store.ClickWinStart(true);
    writer.failure = "Cannot replace C:\\Tools\\Tarnwick.ini: Access is denied.";
    const Outcome result = store.SaveConfig();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.why, writer.failure);
    EXPECT_EQ(ui.DialogLines(), Trace{"box:The configuration was not saved.\r\n"
                                      "Cannot replace C:\\Tools\\Tarnwick.ini: Access is denied."});
    EXPECT_EQ(Saved(),
              "[Options]\r\n  BkpAll = -1\r\n  UseSnapshot = 0\r\n[Control]\r\n  C:\\old.vmx = -1\r\n");
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_TRUE(ui.Lines("log:").empty());
    EXPECT_TRUE(registry.strings.empty()); // the Run value waits for a save that goes through

    writer.failure.clear();
    EXPECT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(registry.strings["Tarnwick"], Command);
    EXPECT_FALSE(list.HasUnsavedChanges());
}

TEST_F(ConfigStoreTest, RunValueIsComparedByteForByte) {
    struct Case {
        std::optional<std::string> value;
        bool checked;
    };
    const Case cases[] = {
        {Command, true},
        {UnquotedCommand, true},
        {std::string("c:\\tools\\tarnwick.exe /START"), false},
        {std::string("\"C:\\Other\\Tarnwick.exe\" /START"), false},
        {std::string("\"C:\\Tools\\Tarnwick.exe /START\""), false},
        {std::string("C:\\Tools\\Tarnwick.exe /start"), false},
        {std::string("C:\\Tools\\Tarnwick.exe /START "), false},
        {std::string("C:\\Tools\\Tarnwick.exe"), false},
        {std::nullopt, false},
    };
    for (const Case& c : cases) {
        registry.strings.clear();
        if (c.value) registry.strings["Tarnwick"] = *c.value;
        store.LoadConfig();
        EXPECT_EQ(store.Options().winStart, c.checked) << c.value.value_or("<none>");
        EXPECT_TRUE(store.Options().winStartEnabled);
    }
    registry.strings.clear();
    registry.others.push_back("Tarnwick"); // a value of another type
    store.LoadConfig();
    EXPECT_FALSE(store.Options().winStart);
    EXPECT_TRUE(ui.DialogLines().empty());
}

TEST_F(ConfigStoreTest, SaveRewritesOrDeletesTheRunValue) {
    registry.strings["Tarnwick"] = "\"C:\\Other\\Tarnwick.exe\" /START";
    registry.strings["Other"] = "other.exe";
    store.LoadConfig();
    ASSERT_FALSE(store.Options().winStart);
    EXPECT_TRUE(store.SaveConfig().ok); // left unchecked: the foreign value goes
    EXPECT_EQ(registry.strings.count("Tarnwick"), 0u);
    EXPECT_TRUE(store.SaveConfig().ok); // deleting what is not there is no error
    store.ClickWinStart(true);
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(registry.strings["Tarnwick"], Command);
    EXPECT_EQ(registry.strings["Other"], "other.exe");
    // The old unquoted value checks the box, and the next save writes it quoted.
    registry.strings["Tarnwick"] = UnquotedCommand;
    store.LoadConfig();
    ASSERT_TRUE(store.Options().winStart);
    EXPECT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(registry.strings["Tarnwick"], Command);
}

TEST_F(ConfigStoreTest, MissingRunKeyWarnsAndDisablesTheBoxForTheRestOfTheRun) {
    registry.keyExists = false;
    store.LoadConfig();
    EXPECT_EQ(ui.DialogLines(), Trace{"box:WARNING: Unable to open registry key "
                                      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\."});
    EXPECT_FALSE(store.Options().winStartEnabled);
    EXPECT_FALSE(store.Options().winStart);
    EXPECT_FALSE(list.HasUnsavedChanges());

    store.ClickWinStart(true); // a disabled box cannot be clicked
    EXPECT_FALSE(store.Options().winStart);
    EXPECT_FALSE(list.HasUnsavedChanges());

    registry.keyExists = true;
    registry.strings["Tarnwick"] = Command;
    store.LoadConfig();
    EXPECT_FALSE(store.Options().winStartEnabled);
    EXPECT_TRUE(store.Options().winStart);
    EXPECT_EQ(ui.DialogLines().size(), 1u);

    // Saving leaves alone a value the user could not see or change.
    registry.strings["Tarnwick"] = "something else";
    const int opened = registry.opened;
    EXPECT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(registry.opened, opened);
    EXPECT_EQ(registry.strings["Tarnwick"], "something else");
}

TEST_F(ConfigStoreTest, RunKeyGoneAtSaveIsSkippedSilently) {
    store.LoadConfig();
    store.ClickWinStart(true);
    registry.keyExists = false;
    EXPECT_TRUE(store.SaveConfig().ok);
    EXPECT_TRUE(ui.DialogLines().empty());
    EXPECT_FALSE(list.HasUnsavedChanges());
    EXPECT_EQ(ui.Lines("log:"), Trace{"Configuration updated."});
}

TEST_F(ConfigStoreTest, FailedRunValueIsReportedAndTheChangesStayUnsaved) {
    store.LoadConfig();
    store.ClickWinStart(true);
    registry.writeFailure = "Cannot write the registry value Tarnwick: Access is denied.";
    const Outcome result = store.SaveConfig();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(ui.DialogLines(), Trace{"box:The configuration file was saved, but the logon start was not.\r\n"
                                      "Cannot write the registry value Tarnwick: Access is denied."});
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_TRUE(ui.Lines("log:").empty());
}

TEST_F(ConfigStoreTest, SnapshotBoxDisabledByDiscoveryCarriesNoCheckMark) {
    File("[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = -1\r\n[Control]\r\n");
    store.LoadConfig();
    EXPECT_TRUE(store.Options().useSnapshot);

    store.DisableSnapshot();
    EXPECT_FALSE(store.Options().useSnapshot);
    store.LoadConfig();
    EXPECT_FALSE(store.Options().useSnapshot);
    EXPECT_FALSE(store.Options().snapshotEnabled);
    store.ClickSnapshot(true);
    EXPECT_FALSE(store.Options().useSnapshot);
    EXPECT_FALSE(list.HasUnsavedChanges());
    // The stored mark is not this run's to change: a save of a list change keeps it.
    list.AddPrompt();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_NE(Saved().find("  UseSnapshot = -1\r\n"), std::string::npos);
    File("[Options]\r\n  UseSnapshot = 0\r\n");
    store.LoadConfig();
    list.AddPrompt();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_NE(Saved().find("  UseSnapshot = 0\r\n"), std::string::npos);
}

TEST_F(ConfigStoreTest, EachOptionClickMarksTheConfigurationChanged) {
    store.LoadConfig();
    store.ClickBkpAll(true);
    EXPECT_TRUE(store.Options().bkpAll);
    EXPECT_TRUE(list.HasUnsavedChanges());
    store.LoadConfig();
    store.ClickSnapshot(true);
    EXPECT_TRUE(list.HasUnsavedChanges());
    store.LoadConfig();
    store.ClickWinStart(true);
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_EQ(registry.strings.count("Tarnwick"), 0u); // the registry changes only on Save
}

TEST_F(ConfigStoreTest, TenThousandEntriesSurviveSaveAndLoad) {
    store.LoadConfig();
    std::vector<std::string> paths;
    for (int i = 0; i < 10000; ++i)
        paths.push_back("C:\\VMs\\Machine " + std::to_string(i) + "\\m.vmx");
    list.AddRunningVms(paths);
    for (size_t i = 0; i < list.Count(); i += 3)
        list.Toggle(i);
    ASSERT_TRUE(store.SaveConfig().ok);
    const std::vector<ControlEntry> saved = list.Entries();
    list.Clear();
    store.LoadConfig();
    // Far more than the platform's 16 KB key list holds: the loader grows its buffer.
    EXPECT_EQ(list.Entries(), saved);
}

TEST_F(ConfigStoreTest, OversizedAndGarbageFilesLoadWithClearResults) {
    // A 100,000-character key: the entry keeps the first 4095 characters and the line's own flag.
    File("[Control]\r\n  " + std::string(100000, 'k') + " = -1\r\n  C:\\VMs\\a.vmx = -1\r\n");
    store.LoadConfig();
    EXPECT_EQ(list.Entries(),
              (std::vector<ControlEntry>{{std::string(MaxEntryText, 'k'), true}, {"C:\\VMs\\a.vmx", true}}));

    // 4 MB of one line repeated: one entry, in a single pass. A load that goes back over the list or the
    // text for each repeat takes 30 s of processor time or more here (the clock would count the other
    // tiers that run beside this one).
    std::string big = "[Control]\r\n";
    while (big.size() < 4u * 1024 * 1024)
        big += "  C:\\VMs\\same.vmx = -1\r\n";
    File(big);
    big.clear();
    const std::clock_t start = std::clock();
    store.LoadConfig();
    EXPECT_LT(std::clock() - start, 10 * CLOCKS_PER_SEC);
    EXPECT_EQ(list.Entries(), (std::vector<ControlEntry>{{"C:\\VMs\\same.vmx", true}}));

    // Garbage: whatever reads as keys becomes entries; a save then writes a clean file.
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    File("[Control]\n" + garbage);
    store.LoadConfig();
    EXPECT_FALSE(list.HasUnsavedChanges());
    ASSERT_TRUE(store.SaveConfig().ok);
    const std::vector<ControlEntry> first = list.Entries();
    store.LoadConfig();
    ASSERT_TRUE(store.SaveConfig().ok);
    const std::string clean = Saved();
    store.LoadConfig();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(Saved(), clean); // stable after one round
    EXPECT_LE(list.Count(), first.size());
}

TEST_F(ConfigStoreTest, AFileNotReadInThisRunIsNeverSavedOver) {
    const std::string held = "[Control]\r\n  C:\\VMs\\a.vmx = -1\r\n";
    // Never loaded (start-up did not get that far), then loaded while another program held the file.
    File(held);
    list.AddPrompt();
    EXPECT_FALSE(store.SaveConfig().ok);
    files.unreadable.insert(IniPath);
    store.LoadConfig();
    files.unreadable.clear();
    list.AddPrompt();
    EXPECT_FALSE(store.SaveConfig().ok);
    EXPECT_EQ(Saved(), held);
    EXPECT_EQ(writer.calls, 0);
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_EQ(ui.Lines("box:"), Trace(2, std::string(ConfigNotSavedText) + "\r\n" + NotLoadedText));
    EXPECT_EQ(ui.Lines("log:"), Trace{"Configuration not read; it will not be saved over: cannot read " +
                                      std::string(IniPath)});
    // Forget Changes reads it again, and from then on it saves.
    store.LoadConfig();
    list.AddPrompt();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(list.Entries(), (std::vector<ControlEntry>{{"C:\\VMs\\a.vmx", true}, {"PROMPT:", true}}));
    // A missing file holds nothing to lose.
    files.files.clear();
    ConfigStore fresh(runFiles, files, writer, registry, ui, ui, list);
    fresh.LoadConfig();
    list.AddPrompt();
    EXPECT_TRUE(fresh.SaveConfig().ok);
}

TEST_F(ConfigStoreTest, ALineWithoutANameHidesNothingAndIsLogged) {
    File("[Control]\r\n  C:\\VMs\\a.vmx = -1\r\n  = -1\r\n=0\r\n  C:\\VMs\\b.vmx = -1\r\n  C:\\VMs\\c.vmx = "
         "0\r\n");
    store.LoadConfig();
    const std::vector<ControlEntry> all{
        {"C:\\VMs\\a.vmx", true}, {"C:\\VMs\\b.vmx", true}, {"C:\\VMs\\c.vmx", false}};
    EXPECT_EQ(list.Entries(), all);
    EXPECT_EQ(ui.Lines("log:"),
              (Trace{"Skipped a line without a name in [Control] of Tarnwick.ini: \"= -1\"",
                     "Skipped a line without a name in [Control] of Tarnwick.ini: \"=0\""}));
    list.AddPrompt();
    ASSERT_TRUE(store.SaveConfig().ok);
    store.LoadConfig();
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_FALSE(files.files.contains(std::string(IniPath) + ".bak"));
}

TEST_F(ConfigStoreTest, EntriesNotReadFaithfullyAreLoggedAndTheOldFileIsKeptOnce) {
    // UTF-16 with a character no single-byte code page holds, and an entry past the length limit.
    std::u16string text = u"[Control]\r\n  C:\\VMs\\\u4E2D.vmx = -1\r\n  " +
                          std::u16string(MaxEntryText + 5, u'k') + u" = 0\r\n  C:\\VMs\\a.vmx = -1\r\n";
    std::string bytes = "\xFF\xFE";
    for (const char16_t u : text) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    File(bytes);
    store.LoadConfig();
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Entries()[2], (ControlEntry{"C:\\VMs\\a.vmx", true}));
    const Trace logged = ui.Lines("log:");
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_TRUE(logged[0].starts_with("Entry read with characters the code page lacks: \"C:\\VMs\\"))
        << logged[0];
    EXPECT_EQ(logged[1], "Entry cut at 4095 characters: \"" + std::string(80, 'k') + "...\"");
    EXPECT_EQ(logged[2], "The next save keeps the present file as Tarnwick.ini.bak.");

    // A Forget in between changes nothing of that; the first save keeps the file, later ones do not.
    store.LoadConfig();
    list.AddPrompt();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(files.files[std::string(IniPath) + ".bak"], bytes);
    list.AddPrompt();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_EQ(files.files[std::string(IniPath) + ".bak"], bytes);
    EXPECT_EQ(writer.calls, 3);

    // When the old file cannot be kept, nothing is saved.
    File(bytes);
    store.LoadConfig();
    list.AddPrompt();
    writer.failure = "Access is denied.";
    EXPECT_FALSE(store.SaveConfig().ok);
    EXPECT_EQ(Saved(), bytes);
    writer.failure.clear();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_NE(Saved(), bytes);
}

TEST_F(ConfigStoreTest, AnUnwritableLogFailsOnlyAfterTheListIsLoaded) {
    File("[Control]\r\n  = -1\r\n  C:\\VMs\\a.vmx = -1\r\n");
    ui.logFails = true;
    EXPECT_THROW(store.LoadConfig(), IoError);
    EXPECT_EQ(list.Entries(), (std::vector<ControlEntry>{{"C:\\VMs\\a.vmx", true}}));
    ui.logFails = false;
    list.AddPrompt();
    ASSERT_TRUE(store.SaveConfig().ok);
    EXPECT_NE(Saved().find("C:\\VMs\\a.vmx = -1"), std::string::npos);
}
