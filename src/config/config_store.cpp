#include "config/config_store.h"

#include "config/ini_file.h"

#include <unordered_set>
#include <utility>
#include <vector>

namespace tarnwick {

namespace {

std::string Quoted(std::string_view text) {
    constexpr size_t shown = 80;
    return "\"" + std::string(text.substr(0, shown)) + (text.size() > shown ? "...\"" : "\"");
}

} // namespace

void ConfigStore::LoadConfig() {
    std::string bytes;
    std::optional<std::string> unreadable;
    try {
        if (std::optional<std::string> text = files_.ReadWholeFile(runFiles_.configFilePath))
            bytes = std::move(*text);
    } catch (const IoError& e) {
        // A file that cannot be read counts as missing, as it does for the platform's reader; but what it
        // holds is not in the list, so it must not be saved over.
        unreadable = e.what();
    }
    const IniFile ini(std::move(bytes));

    ConfigOptions options = list_.Options();
    options.bkpAll = IniBoolean(ini.Value("Options", "BkpAll"));
    // A back-end that cannot take snapshots is never asked to take one, so a box that discovery disabled
    // does not take a check mark from the file; the file keeps it for a run that can.
    storedUseSnapshot_ = IniBoolean(ini.Value("Options", "UseSnapshot"));
    options.useSnapshot = options.snapshotEnabled && storedUseSnapshot_;
    options.toolTimeout = ini.Value("Options", "ToolTimeout");
    options.parallelSuspend = ini.Value("Options", "ParallelSuspend");
    options.backupKeep = ini.Value("Options", "BackupKeep");
    const std::optional<std::string> resumeOthers = ini.Value("Options", "ResumeOthers");
    options.resumeOthers = IniBoolean(resumeOthers);
    resumeOthersInFile_ = resumeOthers.has_value();

    options.winStart = false;
    if (std::unique_ptr<RunKey> key = autostart_.OpenRunKey()) {
        if (key->ValueExists(AutostartValueName)) {
            const std::optional<std::string> command = key->ReadString(AutostartValueName);
            options.winStart =
                command && (*command == AutostartCommand() || *command == UnquotedAutostartCommand());
        }
    } else {
        dialogs_.ShowMessage(RunKeyWarning);
        options.winStartEnabled = false;
    }

    // Repeats are dropped before their flags are looked up, so a file of one line repeated a million
    // times costs one lookup.
    IniFile::KeyLines lines = ini.ReadKeyLines("Control");
    std::vector<std::string>& keys = lines.keys;
    std::vector<std::string> lost; // log lines for entries not read as the file holds them
    std::unordered_set<std::string> seen;
    seen.reserve(keys.size());
    size_t kept = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!seen.insert(FoldCase(std::string_view(keys[i]).substr(0, MaxEntryText))).second) continue;
        if (lines.inexact[i])
            lost.push_back("Entry read with characters the code page lacks: " + Quoted(keys[i]));
        if (keys[i].size() > MaxEntryText)
            lost.push_back("Entry cut at " + std::to_string(MaxEntryText) +
                           " characters: " + Quoted(keys[i]));
        if (kept != i) keys[kept] = std::move(keys[i]);
        ++kept;
    }
    keys.resize(kept);
    const std::vector<std::optional<std::string>> flags = ini.Values("Control", keys);
    const std::vector<std::optional<std::string>> actions = ini.Values("StopAction", keys);
    std::vector<ControlEntry> entries;
    entries.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        // Only a VM entry has a stop action; a line for any other is no choice the list could show.
        StopAction action = StopAction::Suspend;
        if (actions[i] && KindOf(keys[i]) == EntryKind::VM) {
            if (const std::optional<StopAction> known = StopActionFromWord(*actions[i]))
                action = *known;
            else
                lost.push_back("Unknown stop action " + Quoted(*actions[i]) +
                               " read as suspend: " + Quoted(keys[i]));
        }
        entries.push_back(ControlEntry{std::move(keys[i]), IniBoolean(flags[i]), action});
    }
    list_.Assign(std::move(entries));
    list_.SetUnsavedChanges(false);
    list_.SetOptions(options);
    loaded_ = !unreadable;
    keepOldFile_ = keepOldFile_ || !lost.empty();

    if (unreadable) reporter_.WriteLog("Configuration not read; it will not be saved over: " + *unreadable);
    for (const std::string& line : lines.skipped)
        reporter_.WriteLog("Skipped a line without a name in [Control] of Tarnwick.ini: " + Quoted(line));
    for (const std::string& line : lost)
        reporter_.WriteLog(line);
    if (!lost.empty())
        reporter_.WriteLog("The next save keeps the present file as Tarnwick.ini" +
                           std::string(BackupSuffix) + ".");
}

Outcome ConfigStore::SaveConfig() {
    Outcome outcome = WriteConfig();
    // Whatever the outcome, the boxes are drawn again from what the next save would write.
    list_.SetOptions(list_.Options());
    return outcome;
}

Outcome ConfigStore::WriteConfig() {
    if (!loaded_) {
        dialogs_.ShowMessage(std::string(ConfigNotSavedText) + "\r\n" + NotLoadedText);
        return Outcome::Failed(NotLoadedText);
    }
    const ConfigOptions& options = list_.Options();
    const bool useSnapshot = options.snapshotEnabled ? options.useSnapshot : storedUseSnapshot_;
    const bool writeResumeOthers = options.resumeOthers || resumeOthersInFile_;
    const std::string bytes =
        FormatConfigFile(options.bkpAll, useSnapshot, list_.Entries(), options.toolTimeout,
                         writeResumeOthers ? std::optional<bool>(options.resumeOthers) : std::nullopt,
                         options.parallelSuspend, options.backupKeep);
    if (keepOldFile_) {
        Outcome kept = Outcome::Done();
        try {
            if (std::optional<std::string> old = files_.ReadWholeFile(runFiles_.configFilePath))
                kept = writer_.ReplaceWholeFile(runFiles_.configFilePath + BackupSuffix, *old);
        } catch (const IoError& e) {
            kept = Outcome::Failed(e.what());
        }
        if (!kept.ok) {
            dialogs_.ShowMessage(std::string(ConfigNotSavedText) + "\r\n" + kept.why);
            return kept;
        }
        keepOldFile_ = false;
    }
    if (Outcome written = writer_.ReplaceWholeFile(runFiles_.configFilePath, bytes); !written.ok) {
        dialogs_.ShowMessage(std::string(ConfigNotSavedText) + "\r\n" + written.why);
        return written;
    }
    resumeOthersInFile_ = writeResumeOthers;
    // With the box disabled the user could not say what they want, so the value is left as it is.
    if (options.winStartEnabled) {
        if (std::unique_ptr<RunKey> key = autostart_.OpenRunKey()) {
            Outcome changed = options.winStart ? key->WriteString(AutostartValueName, AutostartCommand())
                                               : key->DeleteValue(AutostartValueName);
            if (!changed.ok) {
                dialogs_.ShowMessage(std::string(AutostartNotSavedText) + "\r\n" + changed.why);
                return changed;
            }
        }
    }
    list_.SetUnsavedChanges(false);
    reporter_.WriteLog(ConfigUpdatedLog);
    return Outcome::Done();
}

void ConfigStore::ClickBkpAll(bool checked) {
    ConfigOptions options = list_.Options();
    options.bkpAll = checked;
    list_.SetUnsavedChanges(true);
    list_.SetOptions(options);
}

void ConfigStore::ClickSnapshot(bool checked) {
    ConfigOptions options = list_.Options();
    if (options.snapshotEnabled) {
        options.useSnapshot = checked;
        list_.SetUnsavedChanges(true);
    }
    list_.SetOptions(options);
}

void ConfigStore::ClickWinStart(bool checked) {
    ConfigOptions options = list_.Options();
    if (options.winStartEnabled) {
        options.winStart = checked;
        list_.SetUnsavedChanges(true);
    }
    list_.SetOptions(options);
}

void ConfigStore::ClickResumeOthers(bool checked) {
    ConfigOptions options = list_.Options();
    options.resumeOthers = checked;
    list_.SetUnsavedChanges(true);
    list_.SetOptions(options);
}

void ConfigStore::DisableSnapshot() {
    ConfigOptions options = list_.Options();
    options.snapshotEnabled = false;
    options.useSnapshot = false;
    list_.SetOptions(options);
}

} // namespace tarnwick
