#pragma once
// The control list: the ordered entries the sequences carry out, with the editing commands of the
// main window's toolbar, and the option boxes saved beside them. The window shows this model and
// forwards the user's commands to it; one observer hears of every change it has to show.
#include "common/text_case.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// The list control reads entry texts through a 4096-byte buffer.
inline constexpr size_t MaxEntryText = 4095;

// What the suspension at logoff or Exit does with a VM entry's VM. Teams always suspend.
enum class StopAction { Suspend, ShutDown, Leave };

struct ControlEntry {
    std::string text;
    bool enabled = false;
    StopAction action = StopAction::Suspend;
    bool operator==(const ControlEntry&) const = default;
};

// ---- Entry kinds, decided from the text alone each time an entry is used.

enum class EntryKind { Illegal, SkipMarker, Team, Delay, Wait, Prompt, VM };

inline constexpr std::string_view DelayPrefix = "DELAY:";
// Waits for the nearest VM above to be ready, at most the seconds that follow.
inline constexpr std::string_view WaitPrefix = "WAIT:";
inline constexpr std::string_view PromptText = "PROMPT:";
inline constexpr std::string_view SkipPrefix = "SKIP:";

bool StartsWith(std::string_view text, std::string_view prefix); // case-sensitive
bool IsIllegalText(std::string_view text);                       // fewer than 5 characters
bool IsTeamText(std::string_view text);                          // ends in "VmTm", any letter case
bool IsDelayText(std::string_view text);
bool IsWaitText(std::string_view text);
bool IsPromptText(std::string_view text);
bool IsSkipText(std::string_view text);
// The sequences test the kinds in orders of their own after the length test; this one is the start
// sequence's: illegal, skip marker, Team, delay, wait, prompt, otherwise VM.
EntryKind KindOf(std::string_view text);
// The seconds of a delay entry as written: everything after "DELAY:".
std::string_view DelaySeconds(std::string_view delayText);
// The seconds of a wait entry as written: everything after "WAIT:".
std::string_view WaitSeconds(std::string_view waitText);

// ---- Texts of the commands, for the window.

inline constexpr const char* OpenDialogFilter =
    "Virtual Machines & Teams (*.vmx;*.vmtm)|*.vmx;*.vmtm|All Files (*.*)|*.*";
inline constexpr const char* DelayCaption = "Add Delay between startup of VMs";
inline constexpr const char* DelayPrompt = "Enter the number of seconds to delay:";
inline constexpr const char* DelayInitialText = "10";
inline constexpr const char* WaitCaption = "Add Wait until the VM above is ready";
inline constexpr const char* WaitPrompt = "Enter the most seconds to wait:";
inline constexpr const char* WaitInitialText = "120";
inline constexpr const char* MustBeIntegerText = "Must be an integer";
inline constexpr const char* MustBeNaturalText = "Must be a \"natural number\", i.e. an integer > 0.";

enum class DelayInput { Added, NotAnInteger, NotNatural };
// The "Invalid Entry" text for a refused delay or wait; nullptr for Added.
const char* InvalidDelayText(DelayInput result);

// The option check boxes.
struct ConfigOptions {
    bool bkpAll = false;
    bool useSnapshot = false;
    bool winStart = false;
    // /START also starts again the VMs a suspension left in Tarnwick.resume.
    bool resumeOthers = false;
    bool winStartEnabled = true; // off for the rest of the run once the Run key failed to open
    bool snapshotEnabled = true; // off when the hypervisor tool cannot take snapshots
    // ToolTimeout as the file holds it, kept as written so that a save gives it back unchanged;
    // nullopt when the file has no such key, and then a save writes none.
    std::optional<std::string> toolTimeout;
    // ParallelSuspend, kept as written in the same way.
    std::optional<std::string> parallelSuspend;
    // BackupKeep as the file holds it, kept as written the same way.
    std::optional<std::string> backupKeep;
};

// The seconds ToolTimeout sets for a tool run; nullopt when the key is missing or holds no whole
// number above 0, and the default applies.
std::optional<uint32_t> ToolTimeoutSeconds(const ConfigOptions& options);
// How many suspends a suspension runs at once: ParallelSuspend when it holds a whole number above 0,
// otherwise 1, one after another.
uint32_t ParallelSuspendCount(const ConfigOptions& options);

// How many copies of a VM a backup keeps, the newest included: BackupKeep when it holds a whole number
// above 0, else 1.
uint32_t BackupKeepCount(const ConfigOptions& options);

// What changed, so that a view can redraw only that.
struct ListChange {
    enum Kind { Reset, Inserted, Removed, Swapped, Updated, Selection, Unsaved, Options } kind;
    size_t index = 0; // Inserted, Removed, Updated: the entry; Swapped: the upper of the two
};

class ControlList {
  public:
    using Observer = std::function<void(const ListChange&)>;
    void SetObserver(Observer observer) { observer_ = std::move(observer); }

    size_t Count() const { return entries_.size(); }
    const ControlEntry& At(size_t index) const { return entries_.at(index); }
    const std::string& Text(size_t index) const { return entries_.at(index).text; }
    bool Enabled(size_t index) const { return entries_.at(index).enabled; }
    StopAction Action(size_t index) const { return entries_.at(index).action; }
    const std::vector<ControlEntry>& Entries() const { return entries_; }

    std::optional<size_t> Selection() const { return selection_; }
    // An index past the end selects nothing.
    void Select(std::optional<size_t> index);

    bool HasUnsavedChanges() const { return unsaved_; }
    void SetUnsavedChanges(bool unsaved);

    const ConfigOptions& Options() const { return options_; }
    // Announced even when nothing changed: a check box flips itself when clicked, so after a click the
    // model refused, a load or a save the boxes are drawn again from the model.
    void SetOptions(const ConfigOptions& options);

    // Whole-text test without regard to letter case (SameTextIgnoringCase).
    bool Contains(std::string_view text) const;

    // Appends text (cut to MaxEntryText) with its flag off and sets the unsaved-changes state; checks
    // neither syntax nor duplicates and leaves the selection alone. Returns the new entry's index.
    size_t AddListItem(std::string_view text);
    // From code: the unsaved-changes state is not touched.
    void SetEnabled(size_t index, bool enabled);
    // In place, keeping flag, selection and unsaved-changes state. The skip marker may take an entry a
    // few characters past MaxEntryText for the length of a run; it is not cut, so that removing the
    // marker gives back the text exactly.
    void ReplaceText(size_t index, std::string_view text);
    // Empties the list and the selection; the unsaved-changes state is the caller's business.
    void Clear();
    // Replaces every entry at once (a load): later texts equal to an earlier one are dropped, texts are
    // cut to MaxEntryText, the selection is cleared and the unsaved-changes state is left alone.
    void Assign(std::vector<ControlEntry> entries);

    // ---- Commands. A false result means there was nothing to act on: the window beeps.
    bool DeleteSelected();
    bool MoveUp();
    bool MoveDown();
    // A check box pressed, or the space bar on the selected entry.
    bool Toggle(size_t index);
    // Chosen from the entry's menu; false when there is no such entry or it is no VM entry.
    bool ChooseAction(size_t index, StopAction action);
    void AddPrompt();
    // typed is the input box's text, kept exactly as typed in the new entry.
    DelayInput AddDelay(std::string_view typed);
    // The same checks and the same form as a delay, with "WAIT:" in front.
    DelayInput AddWait(std::string_view typed);
    // A file from the open dialog; false (and nothing added, no message) when already listed.
    bool AddFile(std::string_view path);
    // Running VMs in the tool's order, each tested against the list as it grows. Returns how many
    // were added.
    size_t AddRunningVms(const std::vector<std::string>& paths);

  private:
    void Notify(ListChange::Kind kind, size_t index = 0);
    DelayInput AddSeconds(std::string_view prefix, std::string_view typed);
    size_t Append(std::string text, std::string folded);
    void Remember(const std::string& text);
    void Forget(const std::string& text);
    void Swap(size_t upper);

    std::vector<ControlEntry> entries_;
    std::optional<size_t> selection_;
    bool unsaved_ = false;
    ConfigOptions options_;
    // Folded text -> how many entries carry it, so the duplicate test does not walk the list.
    std::unordered_map<std::string, size_t> folded_;
    Observer observer_;
};

} // namespace tarnwick
