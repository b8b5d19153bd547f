#include "sequences/win32/session_platform.h"

#include "common/win32/handles.h"
#include "common/win32/module.h"
#include "common/win32/wide_text.h"

#include <string>

namespace tarnwick::win32 {

bool WinSessionPlatform::SetPrivilege(const std::string& name, bool enable) {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return false;
    TOKEN_PRIVILEGES wanted{};
    if (!LookupPrivilegeValueA(nullptr, name.c_str(), &wanted.Privileges[0].Luid)) return false;
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    TOKEN_PRIVILEGES previous{};
    DWORD returned = 0;
    // Success even when the privilege was not assigned: the re-issue is tried all the same.
    return AdjustTokenPrivileges(token.get(), FALSE, &wanted, sizeof(TOKEN_PRIVILEGES), &previous,
                                 &returned) != FALSE;
}

bool WinSessionPlatform::ExitWindowsEx(uint32_t flags) {
    return ::ExitWindowsEx(flags, 0) != FALSE; // no force flag: others may still refuse
}

namespace {
using CreateReasonFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using DestroyReasonFn = BOOL(WINAPI*)(HWND);

template <class Fn> Fn User32Proc(const char* name) {
    return ProcAddress<Fn>(GetModuleHandleA("user32.dll"), name);
}
} // namespace

bool WinSessionPlatform::CreateShutdownBlockReason(const std::string& reason) {
    // Vista and later only: looked up so the program still starts where it is missing.
    const auto create = User32Proc<CreateReasonFn>("ShutdownBlockReasonCreate");
    if (!create || !hwnd_) return false;
    return create(hwnd_, Widen(reason).c_str()) != FALSE;
}

void WinSessionPlatform::DestroyShutdownBlockReason() {
    const auto destroy = User32Proc<DestroyReasonFn>("ShutdownBlockReasonDestroy");
    if (destroy && hwnd_) destroy(hwnd_);
}

void WinSessionPlatform::CallBackAfterRefusal() {
    // A timer rather than a posted message: it fires only once the queue is empty, and the abort that
    // XP-style systems send at once is there first.
    if (hwnd_) SetTimer(hwnd_, refusalTimer_, RefusalGraceMs, nullptr);
}

void WinSessionPlatform::AskToBeQueriedEarly() {
    // 0x300-0x3FF is the applications' "first" range; ordinary programs sit at 0x280.
    SetProcessShutdownParameters(0x3FF, 0);
}

} // namespace tarnwick::win32
