#include "app/single_instance.h"

#include <algorithm>
#include <array>

namespace tarnwick {

const char* const EnumProcessesWarning =
    "WARNING: EnumProcesses returned an error; skipping check for existing instance of application.";

bool SameFileName(std::string_view path, std::string_view ownFileName) {
    return FileNamePart(path) == ownFileName;
}

std::string OtherInstanceMessage(const std::string& path, const AccountName& account) {
    return "Tarnwick will not be launched.\r\rAnother instance of " + path + "\r" +
           "is already running under user \\\\" + account.domain + "\\" + account.user + ".";
}

bool CheckOtherInstance(ProcessList& processes, Dialogs& dialogs, const std::string& ownExePath) {
    const std::string_view ownFileName = FileNamePart(ownExePath);
    const uint32_t ownPid = processes.OwnProcessId();

    std::array<uint32_t, ProcessIdBufferCount> ids{};
    const std::optional<uint32_t> bytes = processes.EnumProcessIds(ids);
    if (!bytes) {
        dialogs.ShowMessage(EnumProcessesWarning);
        return false;
    }
    // An enumeration that claims more than the buffer holds must not take us past its end.
    const size_t count = std::min<size_t>(*bytes / sizeof(uint32_t), ids.size());

    bool found = false;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t pid = ids[i];
        if (pid == 0) continue;
        std::unique_ptr<InspectedProcess> process = processes.Open(pid);
        if (!process) continue;
        const std::optional<std::string> path = process->ImagePath();
        if (!path || pid == ownPid || !SameFileName(*path, ownFileName)) continue;
        found = true;
        const AccountName account = process->Account().value_or(AccountName{"?", "?"});
        // The process stays open while the box is up; the scan goes on after it.
        dialogs.ShowMessage(OtherInstanceMessage(*path, account));
    }
    return found;
}

} // namespace tarnwick
