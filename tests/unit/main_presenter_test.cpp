#include "ui/main_presenter.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::fakes;

namespace {

std::string Shown(const ListLine& line) {
    return line.text + (line.checked ? " [x]" : " [ ]");
}

std::string Options(bool bkpAll, bool useSnapshot, bool winStart, bool snapshotEnabled = true,
                    bool winStartEnabled = true) {
    auto box = [](const char* name, bool checked, bool enabled) {
        return std::string(" ") + name + (checked ? "[x]" : "[ ]") + (enabled ? "" : "(off)");
    };
    return "options" + box("bkpAll", bkpAll, true) + box("snapshot", useSnapshot, snapshotEnabled) +
           box("winStart", winStart, winStartEnabled);
}

// Records every drawing call in one trace and answers the questions from its fields.
class FakeView : public MainView {
  public:
    Trace drawn;
    Trace asked;
    std::optional<std::string> typed, chosen;
    std::map<OptionBox, bool> boxes;
    int aboutShown = 0;

    void SetListLines(const std::vector<ListLine>& lines) override {
        drawn.push_back("lines " + std::to_string(lines.size()));
    }
    ListLine lastLine;
    void SetListLine(size_t index, const ListLine& line) override {
        lastLine = line;
        drawn.push_back("line " + std::to_string(index) + " " + Shown(line));
    }
    void InsertListLine(size_t index, const ListLine& line) override {
        drawn.push_back("insert " + std::to_string(index) + " " + Shown(line));
    }
    void RemoveListLine(size_t index) override { drawn.push_back("remove " + std::to_string(index)); }
    void SetListSelection(std::optional<size_t> index) override {
        drawn.push_back("select " + (index ? std::to_string(*index) : std::string("none")));
    }
    void ShowOptions(const ConfigOptions& o) override {
        drawn.push_back(Options(o.bkpAll, o.useSnapshot, o.winStart, o.snapshotEnabled, o.winStartEnabled));
    }
    void SetUnsavedChanges(bool unsaved) override { drawn.push_back(unsaved ? "unsaved on" : "unsaved off"); }
    bool OptionChecked(OptionBox box) const override { return boxes.count(box) && boxes.at(box); }
    std::optional<std::string> AskText(const std::string& caption, const std::string& prompt,
                                       const std::string& initial) override {
        asked.push_back("text: " + caption + " | " + prompt + " | " + initial);
        return typed;
    }
    std::optional<std::string> ChooseFile(const std::string& filter, const std::string& initialDir) override {
        asked.push_back("file: " + filter + " | " + initialDir);
        return chosen;
    }
    std::optional<StopAction> menuChoice;
    std::optional<StopAction> ChooseStopAction(StopAction current) override {
        asked.push_back("stop menu: " + std::to_string(static_cast<int>(current)));
        return menuChoice;
    }
    void ShowAbout() override { ++aboutShown; }
    void OpenInEditor(const std::string& path) override { asked.push_back("open: " + path); }
};

class FakeSequences : public SequenceCommands, public VmOperations {
  public:
    Trace calls;
    std::vector<std::string> running;
    void LaunchSelected() override { calls.push_back("launch"); }
    void ExitWithSuspendOffer() override { calls.push_back("exit"); }
    bool ExecVmCommand(const std::string& verb, const std::string& vmPath) override {
        calls.push_back(verb + " " + vmPath);
        return true;
    }
    std::optional<std::vector<std::string>> ListRunningVms() override {
        calls.push_back("list running");
        return running;
    }
    bool ToolsRunning(const std::string& vmPath, uint32_t) override {
        calls.push_back("tools " + vmPath);
        return false;
    }
    std::vector<bool> SuspendTogether(const std::vector<std::string>& paths, uint32_t) override {
        return std::vector<bool>(paths.size(), false); // the window never asks for it
    }
};

const char* const IniPath = "C:\\Tools\\Tarnwick.ini";

class MainPresenterTest : public ::testing::Test {
  protected:
    // What was drawn since the last look.
    Trace Drawn() { return std::exchange(view.drawn, {}); }
    void Press(UserCommand command) { presenter.Command(command); }
    std::vector<ControlEntry> Entries() const { return list.Entries(); }

    const RunFiles runFiles = RunFiles::Beside("C:\\Tools\\Tarnwick.exe", "C:\\Tools\\Tarnwick.tmp");
    MemoryFiles files;
    FakeWriter writer{files};
    FakeAutostart registry;
    RecordingUi ui;
    ControlList list;
    ConfigStore config{runFiles, files, writer, registry, ui, ui, list};
    FakeSequences sequences;
    FakeView view;
    ModalCount modals;
    MainPresenter presenter{{runFiles, list, config, ui, sequences, sequences, modals}, view};
};

} // namespace

TEST_F(MainPresenterTest, ListCommandsEditTheModelBeepWhenMisplacedAndRedrawOnlyWhatChanged) {
    // Nothing selected: the commands that need a selection beep and change nothing.
    for (UserCommand c : {UserCommand::Delete, UserCommand::MoveUp, UserCommand::MoveDown})
        Press(c);
    EXPECT_EQ(ui.Count("beep"), 3u);
    EXPECT_TRUE(Drawn().empty());

    Press(UserCommand::AddPrompt);
    EXPECT_EQ(Drawn(), (Trace{"insert 0 PROMPT: [ ]", "unsaved on", "line 0 PROMPT: [x]"}));

    // Running adds the tool's list, leaving out what is listed already, in any letter case.
    sequences.running = {"C:\\VMs\\a.vmx", "C:\\VMs\\b.vmx", "c:\\vms\\A.VMX"};
    Press(UserCommand::AddRunningVms);
    EXPECT_EQ(sequences.calls, Trace{"list running"});
    EXPECT_EQ(Drawn(), (Trace{"insert 1 C:\\VMs\\a.vmx [ ]", "insert 2 C:\\VMs\\b.vmx [ ]"}));

    presenter.SelectionChanged(2);
    Press(UserCommand::MoveDown); // already last
    EXPECT_EQ(ui.Count("beep"), 4u);
    Press(UserCommand::MoveUp);
    EXPECT_EQ(Drawn(),
              (Trace{"select 2", "line 1 C:\\VMs\\b.vmx [ ]", "line 2 C:\\VMs\\a.vmx [ ]", "select 1"}));

    presenter.EntryToggled(0);
    Press(UserCommand::Delete);
    EXPECT_EQ(Drawn(), (Trace{"line 0 PROMPT: [ ]", "remove 1"}));
    EXPECT_EQ(Entries(), (std::vector<ControlEntry>{{"PROMPT:", false}, {"C:\\VMs\\a.vmx", false}}));
    EXPECT_EQ(list.Selection(), std::nullopt);
    presenter.SelectionChanged(std::nullopt); // the view's echo of what it was told: nothing to draw
    EXPECT_TRUE(Drawn().empty());

    // Launch and Exit belong to the sequences, About and the log to the view.
    Press(UserCommand::Launch);
    Press(UserCommand::Exit);
    Press(UserCommand::About);
    Press(UserCommand::OpenLog);
    EXPECT_EQ(sequences.calls, (Trace{"list running", "launch", "exit"}));
    EXPECT_EQ(view.aboutShown, 1);
    EXPECT_EQ(view.asked, (Trace{"open: C:\\Tools\\Tarnwick.log"}));
    EXPECT_EQ(ui.Count("beep"), 4u);
    EXPECT_TRUE(ui.Lines("box:").empty());
}

TEST_F(MainPresenterTest, OnlyAVmEntryHasAStopActionMenuAndItsChoiceIsShown) {
    for (const char* text : {"C:\\VMs\\a.vmx", "PROMPT:", "C:\\T\\t.vmtm"})
        list.AddFile(text);
    view.menuChoice = StopAction::ShutDown;
    for (size_t index : {0, 1, 2, 7}) // a prompt, a Team (which always suspends) and no entry beep
        presenter.EntryMenuAsked(index);
    EXPECT_EQ(view.asked, Trace{"stop menu: 0"});
    EXPECT_EQ(ui.Count("beep"), 3u);
    EXPECT_EQ(view.lastLine, (ListLine{"C:\\VMs\\a.vmx", false, "Shut down"}));
    EXPECT_EQ(AtLogoffText("C:\\T\\t.vmtm", StopAction::Leave) + AtLogoffText("DELAY:5", {}), "Suspend");
}

TEST_F(MainPresenterTest, DelayAndFileAskTheUserAndACancelAddsNothing) {
    Press(UserCommand::AddDelay); // cancelled
    Press(UserCommand::AddWait);  // cancelled
    Press(UserCommand::AddFile);  // cancelled
    EXPECT_EQ(view.asked,
              (Trace{"text: Add Delay between startup of VMs | Enter the number of seconds to delay: | 10",
                     "text: Add Wait until the VM above is ready | Enter the most seconds to wait: | 120",
                     "file: Virtual Machines & Teams (*.vmx;*.vmtm)|*.vmx;*.vmtm|All Files (*.*)|*.* | "
                     "C:\\Tools\\"}));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(Drawn().empty());

    // A refused delay shows why in the "Invalid Entry" box and adds nothing.
    for (const char* typed : {"ten", "0", "15"}) {
        view.typed = typed;
        Press(UserCommand::AddDelay);
    }
    EXPECT_EQ(ui.Lines("invalid:"),
              (Trace{"Must be an integer", "Must be a \"natural number\", i.e. an integer > 0."}));
    EXPECT_EQ(Entries(), (std::vector<ControlEntry>{{"DELAY:15", true}}));
    // A wait is refused with the same boxes.
    for (const char* typed : {"-2", "x", "45"}) {
        view.typed = typed;
        Press(UserCommand::AddWait);
    }
    EXPECT_EQ(ui.Lines("invalid:"),
              (Trace{"Must be an integer", "Must be a \"natural number\", i.e. an integer > 0.",
                     "Must be a \"natural number\", i.e. an integer > 0.", "Must be an integer"}));
    ASSERT_EQ(Entries(), (std::vector<ControlEntry>{{"DELAY:15", true}, {"WAIT:45", true}}));
    list.Select(1);
    list.DeleteSelected();

    view.chosen = "C:\\VMs\\Web\\web.vmx";
    Press(UserCommand::AddFile);
    view.chosen = "C:\\VMS\\WEB\\WEB.VMX"; // listed already: no entry, no beep, no message
    Press(UserCommand::AddFile);
    EXPECT_EQ(Entries(), (std::vector<ControlEntry>{{"DELAY:15", true}, {"C:\\VMs\\Web\\web.vmx", false}}));
    EXPECT_EQ(ui.Lines("invalid:").size(), 4u);
    EXPECT_EQ(ui.Count("beep"), 0u);
    EXPECT_TRUE(ui.Lines("box:").empty());
}

TEST_F(MainPresenterTest, LoadSaveForgetAndOptionBoxesRedrawTheOptionsThroughTheSignal) {
    files.files[IniPath] =
        "[Options]\r\n  BkpAll = 0\r\n  UseSnapshot = -1\r\n[Control]\r\n  PROMPT: = -1\r\n";
    config.LoadConfig(); // as at start-up
    EXPECT_EQ(Drawn(), (Trace{"lines 1", "select none", Options(false, true, false), "unsaved off"}));

    view.boxes[OptionBox::BkpAll] = true;
    Press(UserCommand::BkpAllBox);
    EXPECT_EQ(Drawn(), (Trace{"unsaved on", Options(true, true, false), "unsaved on"}));

    Press(UserCommand::Save);
    EXPECT_EQ(Drawn(), (Trace{"unsaved off", Options(true, true, false), "unsaved off"}));
    EXPECT_NE(files.files[IniPath].find("  BkpAll = -1\r\n"), std::string::npos);
    EXPECT_EQ(ui.Logged(), Trace{"Configuration updated."});

    view.boxes[OptionBox::WinStart] = true;
    view.boxes[OptionBox::Snapshot] = false;
    Press(UserCommand::WinStartBox);
    Press(UserCommand::SnapshotBox);
    EXPECT_EQ(Drawn(), (Trace{"unsaved on", Options(true, true, true), "unsaved on",
                              Options(true, false, true), "unsaved on"}));
    Press(UserCommand::Forget);
    EXPECT_EQ(Drawn(),
              (Trace{"lines 1", "select none", "unsaved off", Options(true, true, false), "unsaved off"}));

    // A save that fails says why, keeps the changes unsaved and still redraws the boxes.
    view.boxes[OptionBox::BkpAll] = false;
    Press(UserCommand::BkpAllBox);
    writer.failure = "Access is denied.";
    Drawn();
    Press(UserCommand::Save);
    EXPECT_EQ(ui.Lines("box:"), Trace{"The configuration was not saved.\r\nAccess is denied."});
    EXPECT_EQ(Drawn(), (Trace{Options(false, true, false), "unsaved on"}));
    writer.failure.clear();
    Press(UserCommand::Forget);
    Drawn();

    // Discovery without snapshots: the box is drawn off and unchecked, and a click on it is refused
    // and drawn back.
    config.DisableSnapshot();
    EXPECT_EQ(Drawn(), (Trace{Options(true, false, false, false), "unsaved off"}));
    view.boxes[OptionBox::Snapshot] = true;
    Press(UserCommand::SnapshotBox);
    EXPECT_EQ(Drawn(), (Trace{Options(true, false, false, false), "unsaved off"}));
    EXPECT_FALSE(list.HasUnsavedChanges());
    EXPECT_EQ(ui.Count("beep"), 0u);
}

TEST_F(MainPresenterTest, NoCommandActsFromUnderAModalBox) {
    files.files[IniPath] = "[Options]\r\n  BkpAll = 0\r\n[Control]\r\n  D:\\VMs\\A.vmx = -1\r\n";
    config.LoadConfig();
    list.Select(0);
    view.boxes[OptionBox::BkpAll] = true;
    Press(UserCommand::BkpAllBox); // unsaved changes, so Save and Forget would act
    const std::string saved = files.files[IniPath];
    Drawn();
    {
        const ModalCount::Open box(modals);
        const ModalCount::Open nested(modals);
        for (const UserCommand command :
             {UserCommand::Launch, UserCommand::Save, UserCommand::Forget, UserCommand::Exit,
              UserCommand::Delete, UserCommand::AddDelay, UserCommand::BkpAllBox})
            Press(command);
    }
    EXPECT_TRUE(sequences.calls.empty());
    EXPECT_EQ(files.files[IniPath], saved);
    EXPECT_TRUE(view.asked.empty());
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_TRUE(list.HasUnsavedChanges());
    EXPECT_EQ(ui.Count("beep"), 7u);
    // The box a click changed is drawn back as the model holds it.
    EXPECT_EQ(Drawn().back(), Options(true, false, false));

    // Once the boxes are closed, the commands act again.
    Press(UserCommand::Exit);
    Press(UserCommand::Save);
    EXPECT_EQ(sequences.calls, Trace{"exit"});
    EXPECT_FALSE(list.HasUnsavedChanges());
}
