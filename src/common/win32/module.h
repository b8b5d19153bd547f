#pragma once
// Modules: their file names, and functions looked up at run time for APIs that older Windows lacks.
#include <windows.h>

#include <string>

namespace tarnwick::win32 {

// Null when the module or the function is missing. GetProcAddress hands back a generic pointer; going
// through void(*)() keeps -Wcast-function-type quiet.
template <class Fn> Fn ProcAddress(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Full path of a loaded module; null means this process's executable. Empty on failure.
inline std::string ModuleFileName(HMODULE module = nullptr) {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2); // truncated: try a longer buffer
    }
}

} // namespace tarnwick::win32
