#include "hypervisor/win32/registry_reader.h"

#include "common/win32/handles.h"

#include <vector>

namespace tarnwick::win32 {

std::optional<std::string> Registry::ReadMachineString(RegistryView view, const std::string& keyPath,
                                                       const std::string& valueName) {
    const REGSAM viewFlag = view == RegistryView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    UniqueKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | viewFlag, key.put()) !=
        ERROR_SUCCESS)
        return std::nullopt;

    // The value can change between asking its size and reading it; ERROR_MORE_DATA means ask again.
    std::vector<char> data(256);
    for (;;) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS status = ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                                                  reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_MORE_DATA) {
            data.resize(size + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ) throw RegistryDataError(valueName);
        // Stored strings need not end in a NUL, and may hold more after one: the text ends at the first.
        std::string text(data.data(), size);
        const size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
        return text;
    }
}

} // namespace tarnwick::win32
