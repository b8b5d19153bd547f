#include "ui/main_presenter.h"

#include <string>
#include <utility>
#include <vector>

namespace tarnwick {

MainPresenter::MainPresenter(MainPresenterServices services, MainView& view) : s_(services), view_(view) {
    s_.list.SetObserver([this](const ListChange& change) { ModelChanged(change); });
}

MainPresenter::~MainPresenter() {
    s_.list.SetObserver(nullptr);
}

void MainPresenter::Command(UserCommand command) {
    // A box's own loop still delivers the window's commands (a window shown from the tray under an unowned
    // box); none may act until the box is answered. A check box the click changed is drawn back.
    if (s_.modals.Any()) {
        s_.dialogs.Beep();
        view_.ShowOptions(s_.list.Options());
        return;
    }
    switch (command) {
    case UserCommand::AddFile:
        AddFile();
        break;
    case UserCommand::AddRunningVms:
        AddRunningVms();
        break;
    case UserCommand::AddDelay:
        AddDelay();
        break;
    case UserCommand::AddWait:
        AddWait();
        break;
    case UserCommand::AddPrompt:
        s_.list.AddPrompt();
        break;
    case UserCommand::Delete:
        BeepUnless(s_.list.DeleteSelected());
        break;
    case UserCommand::MoveUp:
        BeepUnless(s_.list.MoveUp());
        break;
    case UserCommand::MoveDown:
        BeepUnless(s_.list.MoveDown());
        break;
    case UserCommand::Launch:
        s_.sequences.LaunchSelected();
        break;
    case UserCommand::Save:
        s_.config.SaveConfig();
        break;
    case UserCommand::Forget:
        s_.config.LoadConfig();
        break;
    case UserCommand::WinStartBox:
        s_.config.ClickWinStart(view_.OptionChecked(OptionBox::WinStart));
        break;
    case UserCommand::ResumeOthersBox:
        s_.config.ClickResumeOthers(view_.OptionChecked(OptionBox::ResumeOthers));
        break;
    case UserCommand::BkpAllBox:
        s_.config.ClickBkpAll(view_.OptionChecked(OptionBox::BkpAll));
        break;
    case UserCommand::SnapshotBox:
        s_.config.ClickSnapshot(view_.OptionChecked(OptionBox::Snapshot));
        break;
    case UserCommand::About:
        view_.ShowAbout();
        break;
    case UserCommand::OpenLog:
        view_.OpenInEditor(s_.files.logFilePath);
        break;
    case UserCommand::Exit:
        s_.sequences.ExitWithSuspendOffer();
        break;
    }
}

void MainPresenter::EntryToggled(size_t index) {
    s_.list.Toggle(index);
}

void MainPresenter::SelectionChanged(std::optional<size_t> index) {
    s_.list.Select(index);
}

// Only a VM entry has a choice: a Team always suspends, and the other kinds are no VM.
void MainPresenter::EntryMenuAsked(size_t index) {
    if (index >= s_.list.Count() || KindOf(s_.list.Text(index)) != EntryKind::VM) {
        s_.dialogs.Beep();
        return;
    }
    const std::string text = s_.list.Text(index);
    const std::optional<StopAction> chosen = view_.ChooseStopAction(s_.list.Action(index));
    // The menu runs its own message loop, in which the list may have changed.
    if (chosen && index < s_.list.Count() && s_.list.Text(index) == text)
        s_.list.ChooseAction(index, *chosen);
}

std::string AtLogoffText(std::string_view entryText, StopAction action) {
    switch (KindOf(entryText)) {
    case EntryKind::Team:
        return "Suspend";
    case EntryKind::VM:
        break;
    default:
        return "";
    }
    switch (action) {
    case StopAction::ShutDown:
        return "Shut down";
    case StopAction::Leave:
        return "Leave running";
    case StopAction::Suspend:
        break;
    }
    return "Suspend";
}

// A command with nothing to act on (no selection, or the edge of the list) answers with a beep.
void MainPresenter::BeepUnless(bool acted) {
    if (!acted) s_.dialogs.Beep();
}

void MainPresenter::AddFile() {
    if (const auto path = view_.ChooseFile(OpenDialogFilter, s_.files.appDir)) s_.list.AddFile(*path);
}

void MainPresenter::AddDelay() {
    const auto typed = view_.AskText(DelayCaption, DelayPrompt, DelayInitialText);
    if (!typed) return;
    if (const char* text = InvalidDelayText(s_.list.AddDelay(*typed))) s_.dialogs.InvalidEntry(text);
}

void MainPresenter::AddWait() {
    const auto typed = view_.AskText(WaitCaption, WaitPrompt, WaitInitialText);
    if (!typed) return;
    if (const char* text = InvalidDelayText(s_.list.AddWait(*typed))) s_.dialogs.InvalidEntry(text);
}

void MainPresenter::AddRunningVms() {
    s_.list.AddRunningVms(s_.vms.ListRunningVms().value_or(std::vector<std::string>()));
}

ListLine MainPresenter::Line(size_t index) const {
    return ListLine{s_.list.Text(index), s_.list.Enabled(index),
                    AtLogoffText(s_.list.Text(index), s_.list.Action(index))};
}

void MainPresenter::ModelChanged(const ListChange& change) {
    const ControlList& list = s_.list;
    switch (change.kind) {
    case ListChange::Reset: {
        std::vector<ListLine> lines;
        lines.reserve(list.Count());
        for (size_t i = 0; i < list.Count(); ++i)
            lines.push_back(Line(i));
        view_.SetListLines(lines);
        view_.SetListSelection(list.Selection());
        break;
    }
    case ListChange::Inserted:
        view_.InsertListLine(change.index, Line(change.index));
        break;
    case ListChange::Removed:
        view_.RemoveListLine(change.index);
        break;
    case ListChange::Swapped:
        view_.SetListLine(change.index, Line(change.index));
        view_.SetListLine(change.index + 1, Line(change.index + 1));
        break;
    case ListChange::Updated:
        view_.SetListLine(change.index, Line(change.index));
        break;
    case ListChange::Selection:
        view_.SetListSelection(list.Selection());
        break;
    case ListChange::Unsaved:
        view_.SetUnsavedChanges(list.HasUnsavedChanges());
        break;
    case ListChange::Options:
        view_.ShowOptions(list.Options());
        view_.SetUnsavedChanges(list.HasUnsavedChanges());
        break;
    }
}

} // namespace tarnwick
