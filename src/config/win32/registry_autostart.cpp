#include "config/win32/registry_autostart.h"

#include "common/win32/error_text.h"
#include "common/win32/handles.h"

#include <cstring>
#include <vector>

namespace tarnwick::win32 {

namespace {

class RegistryRunKey : public RunKey {
  public:
    explicit RegistryRunKey(UniqueKey key) : key_(std::move(key)) {}

    bool ValueExists(const std::string& name) override {
        return RegQueryValueExA(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }

    std::optional<std::string> ReadString(const std::string& name) override {
        // The value may change size between the two calls; ask again when it grew.
        for (int attempt = 0; attempt < 3; ++attempt) {
            DWORD type = 0, size = 0;
            if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                return std::nullopt;
            if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
            std::vector<char> data(size + 1, '\0');
            const LONG rc = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &size);
            if (rc == ERROR_MORE_DATA) continue;
            if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
            // Stored strings may lack their terminating zero, or carry more than one.
            return std::string(data.data(), strnlen(data.data(), size));
        }
        return std::nullopt;
    }

    Outcome WriteString(const std::string& name, const std::string& data) override {
        const LONG rc =
            RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1));
        if (rc == ERROR_SUCCESS) return Outcome::Done();
        return Outcome::Failed("Cannot write the registry value " + name + ": " + LastErrorText(rc) + ".");
    }

    Outcome DeleteValue(const std::string& name) override {
        const LONG rc = RegDeleteValueA(key_.get(), name.c_str());
        if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return Outcome::Done();
        return Outcome::Failed("Cannot delete the registry value " + name + ": " + LastErrorText(rc) + ".");
    }

  private:
    UniqueKey key_;
};

} // namespace

std::unique_ptr<RunKey> RegistryAutostart::OpenRunKey() {
    UniqueKey key;
    if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<RegistryRunKey>(std::move(key));
}

} // namespace tarnwick::win32
