#pragma once
// The main window as the presenter sees it: it draws what it is told, asks the user when told to, and
// forwards what the user did as command values. It decides nothing.
#include "config/control_list.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The user's commands: the toolbar, the buttons, the option boxes and the tray menu.
enum class UserCommand {
    AddFile,
    AddRunningVms,
    AddDelay,
    AddWait,
    AddPrompt,
    Delete,
    MoveUp,
    MoveDown,
    Launch,
    Save,
    Forget,
    WinStartBox,
    ResumeOthersBox,
    BkpAllBox,
    SnapshotBox,
    About,
    OpenLog, // the tray menu, and a click on a failure notice
    Exit,
};

enum class OptionBox { WinStart, ResumeOthers, BkpAll, Snapshot };

struct ListLine {
    std::string text;
    bool checked = false;
    std::string atLogoff; // the "At logoff" column: the stop action of a VM or Team entry, else empty
    bool operator==(const ListLine&) const = default;
};

// The "At logoff" column's text for an entry.
std::string AtLogoffText(std::string_view entryText, StopAction action);

class MainView {
  public:
    virtual ~MainView() = default;

    // The control list.
    virtual void SetListLines(const std::vector<ListLine>& lines) = 0;
    virtual void SetListLine(size_t index, const ListLine& line) = 0;
    virtual void InsertListLine(size_t index, const ListLine& line) = 0;
    virtual void RemoveListLine(size_t index) = 0;
    virtual void SetListSelection(std::optional<size_t> index) = 0;

    // Check marks of the four boxes, and which of them can be clicked.
    virtual void ShowOptions(const ConfigOptions& options) = 0;
    // Save and Forget are enabled exactly while there are unsaved changes.
    virtual void SetUnsavedChanges(bool unsaved) = 0;
    // The box as the user left it: a click flips it before the command arrives.
    virtual bool OptionChecked(OptionBox box) const = 0;

    // The text as typed, or nullopt when the user cancelled.
    virtual std::optional<std::string> AskText(const std::string& caption, const std::string& prompt,
                                               const std::string& initial) = 0;
    // filter in the "Name|pattern|Name|pattern" form; the chosen full path, or nullopt when cancelled.
    virtual std::optional<std::string> ChooseFile(const std::string& filter,
                                                  const std::string& initialDir) = 0;
    // The menu of stop actions, with current marked, where the user asked for the entry's menu; the
    // action chosen, or nullopt when the menu was closed without one.
    virtual std::optional<StopAction> ChooseStopAction(StopAction current) = 0;
    virtual void ShowAbout() = 0;
    // Opens a file in the program the user has for its kind.
    virtual void OpenInEditor(const std::string& path) = 0;
};

// What the user did in the window, as the view forwards it.
class MainViewEvents {
  public:
    virtual ~MainViewEvents() = default;
    virtual void Command(UserCommand command) = 0;
    // The user flipped an entry's check mark.
    virtual void EntryToggled(size_t index) = 0;
    virtual void SelectionChanged(std::optional<size_t> index) = 0;
    // A right-click, Shift+F10 or the menu key on an entry, which the view has selected.
    virtual void EntryMenuAsked(size_t index) = 0;
};

} // namespace tarnwick
