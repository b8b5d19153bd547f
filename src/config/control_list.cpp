#include "config/control_list.h"

#include "config/integer_text.h"

#include <utility>

namespace tarnwick {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool IsIllegalText(std::string_view text) {
    return text.size() < 5;
}

bool IsTeamText(std::string_view text) {
    return EndsWithIgnoringCase(text, "VmTm");
}

bool IsDelayText(std::string_view text) {
    return StartsWith(text, DelayPrefix);
}
bool IsWaitText(std::string_view text) {
    return StartsWith(text, WaitPrefix);
}
bool IsPromptText(std::string_view text) {
    return StartsWith(text, PromptText);
}
bool IsSkipText(std::string_view text) {
    return StartsWith(text, SkipPrefix);
}

EntryKind KindOf(std::string_view text) {
    if (IsIllegalText(text)) return EntryKind::Illegal;
    if (IsSkipText(text)) return EntryKind::SkipMarker;
    if (IsTeamText(text)) return EntryKind::Team;
    if (IsDelayText(text)) return EntryKind::Delay;
    if (IsWaitText(text)) return EntryKind::Wait;
    if (IsPromptText(text)) return EntryKind::Prompt;
    return EntryKind::VM;
}

std::string_view DelaySeconds(std::string_view delayText) {
    return IsDelayText(delayText) ? delayText.substr(DelayPrefix.size()) : std::string_view{};
}

std::string_view WaitSeconds(std::string_view waitText) {
    return IsWaitText(waitText) ? waitText.substr(WaitPrefix.size()) : std::string_view{};
}

const char* InvalidDelayText(DelayInput result) {
    switch (result) {
    case DelayInput::NotAnInteger:
        return MustBeIntegerText;
    case DelayInput::NotNatural:
        return MustBeNaturalText;
    case DelayInput::Added:
        break;
    }
    return nullptr;
}

void ControlList::Notify(ListChange::Kind kind, size_t index) {
    if (observer_) observer_(ListChange{kind, index});
}

void ControlList::Remember(const std::string& text) {
    ++folded_[FoldCase(text)];
}

void ControlList::Forget(const std::string& text) {
    auto it = folded_.find(FoldCase(text));
    if (it != folded_.end() && --it->second == 0) folded_.erase(it);
}

void ControlList::Select(std::optional<size_t> index) {
    if (index && *index >= entries_.size()) index.reset();
    if (index == selection_) return;
    selection_ = index;
    Notify(ListChange::Selection, index.value_or(0));
}

void ControlList::SetUnsavedChanges(bool unsaved) {
    if (unsaved == unsaved_) return;
    unsaved_ = unsaved;
    Notify(ListChange::Unsaved);
}

void ControlList::SetOptions(const ConfigOptions& options) {
    options_ = options;
    Notify(ListChange::Options);
}

bool ControlList::Contains(std::string_view text) const {
    return folded_.count(FoldCase(text)) != 0;
}

size_t ControlList::AddListItem(std::string_view text) {
    text = text.substr(0, MaxEntryText);
    return Append(std::string(text), FoldCase(text));
}

size_t ControlList::Append(std::string text, std::string folded) {
    entries_.push_back(ControlEntry{std::move(text), false});
    ++folded_[std::move(folded)];
    const size_t index = entries_.size() - 1;
    Notify(ListChange::Inserted, index);
    SetUnsavedChanges(true);
    return index;
}

void ControlList::SetEnabled(size_t index, bool enabled) {
    ControlEntry& entry = entries_.at(index);
    if (entry.enabled == enabled) return;
    entry.enabled = enabled;
    Notify(ListChange::Updated, index);
}

void ControlList::ReplaceText(size_t index, std::string_view text) {
    ControlEntry& entry = entries_.at(index);
    Forget(entry.text);
    entry.text.assign(text);
    Remember(entry.text);
    Notify(ListChange::Updated, index);
}

void ControlList::Clear() {
    entries_.clear();
    folded_.clear();
    selection_.reset();
    Notify(ListChange::Reset);
}

void ControlList::Assign(std::vector<ControlEntry> entries) {
    entries_.clear();
    folded_.clear();
    selection_.reset();
    entries_.reserve(entries.size());
    folded_.reserve(entries.size());
    for (ControlEntry& entry : entries) {
        if (entry.text.size() > MaxEntryText) entry.text.resize(MaxEntryText);
        if (!folded_.emplace(FoldCase(entry.text), 1).second) continue;
        entries_.push_back(std::move(entry));
    }
    Notify(ListChange::Reset);
}

void ControlList::Swap(size_t upper) {
    std::swap(entries_[upper], entries_[upper + 1]);
    Notify(ListChange::Swapped, upper);
}

bool ControlList::DeleteSelected() {
    if (!selection_) return false;
    const size_t index = *selection_;
    Forget(entries_[index].text);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    selection_.reset();
    Notify(ListChange::Removed, index);
    SetUnsavedChanges(true);
    return true;
}

bool ControlList::MoveUp() {
    if (!selection_ || *selection_ == 0) return false;
    const size_t index = *selection_;
    Swap(index - 1);
    Select(index - 1);
    SetUnsavedChanges(true);
    return true;
}

bool ControlList::MoveDown() {
    if (!selection_ || *selection_ + 1 >= entries_.size()) return false;
    const size_t index = *selection_;
    Swap(index);
    Select(index + 1);
    SetUnsavedChanges(true);
    return true;
}

bool ControlList::Toggle(size_t index) {
    if (index >= entries_.size()) return false;
    SetEnabled(index, !entries_[index].enabled);
    SetUnsavedChanges(true);
    return true;
}

bool ControlList::ChooseAction(size_t index, StopAction action) {
    if (index >= entries_.size() || KindOf(entries_[index].text) != EntryKind::VM) return false;
    if (entries_[index].action != action) {
        entries_[index].action = action;
        Notify(ListChange::Updated, index);
        SetUnsavedChanges(true);
    }
    return true;
}

void ControlList::AddPrompt() {
    SetEnabled(AddListItem(PromptText), true);
}

DelayInput ControlList::AddDelay(std::string_view typed) {
    return AddSeconds(DelayPrefix, typed);
}

DelayInput ControlList::AddWait(std::string_view typed) {
    return AddSeconds(WaitPrefix, typed);
}

DelayInput ControlList::AddSeconds(std::string_view prefix, std::string_view typed) {
    if (!ParsePositiveInteger(typed))
        return IsInteger(typed) ? DelayInput::NotNatural : DelayInput::NotAnInteger;
    std::string text(prefix);
    text += typed;
    SetEnabled(AddListItem(text), true);
    return DelayInput::Added;
}

bool ControlList::AddFile(std::string_view path) {
    path = path.substr(0, MaxEntryText);
    std::string folded = FoldCase(path);
    if (folded_.count(folded)) return false;
    Append(std::string(path), std::move(folded));
    return true;
}

size_t ControlList::AddRunningVms(const std::vector<std::string>& paths) {
    size_t added = 0;
    for (const std::string& path : paths)
        if (AddFile(path)) ++added;
    return added;
}

std::optional<uint32_t> ToolTimeoutSeconds(const ConfigOptions& options) {
    if (!options.toolTimeout) return std::nullopt;
    const std::optional<int32_t> seconds = ParsePositiveInteger(*options.toolTimeout);
    if (!seconds) return std::nullopt;
    return static_cast<uint32_t>(*seconds);
}

uint32_t ParallelSuspendCount(const ConfigOptions& options) {
    const std::optional<int32_t> count =
        options.parallelSuspend ? ParsePositiveInteger(*options.parallelSuspend) : std::nullopt;
    return count ? static_cast<uint32_t>(*count) : 1;
}

uint32_t BackupKeepCount(const ConfigOptions& options) {
    const std::optional<int32_t> keep =
        options.backupKeep ? ParsePositiveInteger(*options.backupKeep) : std::nullopt;
    return keep ? static_cast<uint32_t>(*keep) : 1;
}

} // namespace tarnwick
