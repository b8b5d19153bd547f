#pragma once
// Read access to VMware's keys under HKEY_LOCAL_MACHINE, the little of the registry discovery needs.
#include <optional>
#include <stdexcept>
#include <string>

namespace tarnwick {

// A value that should hold text holds something else. Its text is "Invalid data type for '<name>'";
// it is not caught on the way up, so start-up shows it in its error box.
class RegistryDataError : public std::runtime_error {
  public:
    explicit RegistryDataError(const std::string& valueName)
        : std::runtime_error("Invalid data type for '" + valueName + "'") {}
};

// 32-bit programs see HKLM\SOFTWARE redirected on 64-bit Windows, so a key can live in either view.
enum class RegistryView { Bits32, Bits64 };

class RegistryReader {
  public:
    virtual ~RegistryReader() = default;
    // Opens HKEY_LOCAL_MACHINE\keyPath read-only in that view and reads a string value. nullopt when
    // the key cannot be opened or the value does not exist; throws RegistryDataError when the value is
    // not of a string type.
    virtual std::optional<std::string> ReadMachineString(RegistryView view, const std::string& keyPath,
                                                         const std::string& valueName) = 0;
};

} // namespace tarnwick
