#pragma once
// Refuses a second copy of the program: finds other processes that run an executable of our file name
// and tells the user which file each runs and under which account.
#include "common/paths.h"
#include "common/services.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick {

// Room for 1025 ids of 32 bits: whatever the enumeration returns beyond that is not looked at.
inline constexpr uint32_t ProcessIdBufferBytes = 4100;
inline constexpr size_t ProcessIdBufferCount = ProcessIdBufferBytes / sizeof(uint32_t);

struct AccountName {
    std::string domain;
    std::string user;
};

// One process opened for inspection. The destructor closes it.
class InspectedProcess {
  public:
    virtual ~InspectedProcess() = default;
    // Full path of the process's main executable; nullopt when it cannot be read.
    virtual std::optional<std::string> ImagePath() = 0;
    // The account of the process's token; nullopt when any step of the lookup fails.
    virtual std::optional<AccountName> Account() = 0;
};

// The machine's processes, as far as the check needs them.
class ProcessList {
  public:
    virtual ~ProcessList() = default;
    virtual uint32_t OwnProcessId() = 0;
    // Fills ids from the front and returns the number of bytes it filled; nullopt when the list cannot
    // be had.
    virtual std::optional<uint32_t> EnumProcessIds(std::span<uint32_t> ids) = 0;
    // Null when the process cannot be opened.
    virtual std::unique_ptr<InspectedProcess> Open(uint32_t pid) = 0;
};

extern const char* const EnumProcessesWarning;

// Same file name, letter case significant: TARNWICK.EXE is not Tarnwick.exe.
bool SameFileName(std::string_view path, std::string_view ownFileName);
// The message about one found copy; a lookup that failed gives "?" for domain and user.
std::string OtherInstanceMessage(const std::string& path, const AccountName& account);

// Shows one message per other copy of ownExePath's file name and returns whether there was any.
// When the processes cannot be listed it warns and returns false: the start-up goes on.
bool CheckOtherInstance(ProcessList& processes, Dialogs& dialogs, const std::string& ownExePath);

} // namespace tarnwick
