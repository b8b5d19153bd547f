#include "config/config_store.h"

#include "config/ini_file.h"

#include <unordered_set>
#include <utility>
#include <vector>

namespace tarnwick {

void ConfigStore::LoadConfig() {
    std::string bytes;
    try {
        if (std::optional<std::string> text = files_.ReadWholeFile(state_.configFilePath))
            bytes = std::move(*text);
    } catch (const IoError&) {
        // A file that cannot be read counts as missing, as it does for the platform's reader.
    }
    const IniFile ini(std::move(bytes));

    ConfigOptions options = list_.Options();
    options.bkpAll = IniBoolean(ini.Value("Options", "BkpAll"));
    // A back-end that cannot take snapshots is never asked to take one, so a box that discovery disabled
    // does not take a check mark from the file.
    options.useSnapshot = options.snapshotEnabled && IniBoolean(ini.Value("Options", "UseSnapshot"));

    options.winStart = false;
    if (std::unique_ptr<RunKey> key = autostart_.OpenRunKey()) {
        if (key->ValueExists(AutostartValueName)) {
            const std::optional<std::string> command = key->ReadString(AutostartValueName);
            options.winStart = command && *command == AutostartCommand();
        }
    } else {
        dialogs_.ShowMessage(RunKeyWarning);
        options.winStartEnabled = false;
    }

    // Repeats are dropped before their flags are looked up, so a file of one line repeated a million
    // times costs one lookup.
    std::vector<std::string> keys = ini.AllKeyNames("Control");
    std::unordered_set<std::string> seen;
    seen.reserve(keys.size());
    std::erase_if(keys, [&](const std::string& key) {
        return !seen.insert(FoldCase(std::string_view(key).substr(0, MaxEntryText))).second;
    });
    const std::vector<std::optional<std::string>> flags = ini.Values("Control", keys);
    std::vector<ControlEntry> entries;
    entries.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        entries.push_back(ControlEntry{std::move(keys[i]), IniBoolean(flags[i])});
    list_.Assign(std::move(entries));
    list_.SetUnsavedChanges(false);
    list_.SetOptions(options);
}

Outcome ConfigStore::SaveConfig() {
    Outcome outcome = WriteConfig();
    // Whatever the outcome, the boxes are drawn again from what the next save would write.
    list_.SetOptions(list_.Options());
    return outcome;
}

Outcome ConfigStore::WriteConfig() {
    const ConfigOptions& options = list_.Options();
    const std::string bytes = FormatConfigFile(options.bkpAll, options.useSnapshot, list_.Entries());
    if (Outcome written = writer_.ReplaceWholeFile(state_.configFilePath, bytes); !written.ok) {
        dialogs_.ShowMessage(std::string(ConfigNotSavedText) + "\r\n" + written.why);
        return written;
    }
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

void ConfigStore::DisableSnapshot() {
    ConfigOptions options = list_.Options();
    options.snapshotEnabled = false;
    options.useSnapshot = false;
    list_.SetOptions(options);
}

} // namespace tarnwick
