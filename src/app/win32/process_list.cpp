#include "app/win32/process_list.h"

#include "common/win32/handles.h"
#include "common/win32/module.h"

#include <vector>

namespace tarnwick::win32 {

namespace {

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using GetModuleFileNameExAFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using QueryFullProcessImageNameAFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, DWORD*);

// psapi.dll is not bound at load time: it is loaded on first use and kept for the rest of the run.
class Psapi {
  public:
    static Psapi& Get() {
        static Psapi psapi;
        return psapi;
    }
    Psapi(const Psapi&) = delete;
    Psapi& operator=(const Psapi&) = delete;

    EnumProcessesFn enumProcesses = nullptr;
    GetModuleFileNameExAFn getModuleFileNameExA = nullptr;

  private:
    Psapi() : module_(LoadLibraryA("PSAPI.dll")) {
        enumProcesses = ProcAddress<EnumProcessesFn>(module_.get(), "EnumProcesses");
        getModuleFileNameExA = ProcAddress<GetModuleFileNameExAFn>(module_.get(), "GetModuleFileNameExA");
    }
    UniqueModule module_;
};

// Vista and later: reads the image path of processes we may only open with limited rights (elevated, or
// another account's), which psapi cannot. Looked up so that older systems still start.
QueryFullProcessImageNameAFn QueryFullProcessImageNameAPtr() {
    static const QueryFullProcessImageNameAFn fn = ProcAddress<QueryFullProcessImageNameAFn>(
        GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA");
    return fn;
}

constexpr DWORD ModulePathChars = 261;
constexpr DWORD AccountNameChars = 251;

class Win32InspectedProcess final : public InspectedProcess {
  public:
    Win32InspectedProcess(UniqueKernelHandle process, bool limited)
        : process_(std::move(process)), limited_(limited) {}

    std::optional<std::string> ImagePath() override {
        char path[ModulePathChars];
        if (!limited_) {
            auto getModuleFileNameExA = Psapi::Get().getModuleFileNameExA;
            const DWORD n = getModuleFileNameExA
                                ? getModuleFileNameExA(process_.get(), nullptr, path, ModulePathChars)
                                : 0;
            if (n > 0) return std::string(path, n);
        }
        // Also when psapi could not read it: a 32-bit caller cannot read a 64-bit process's modules.
        if (auto query = QueryFullProcessImageNameAPtr()) {
            DWORD size = ModulePathChars;
            if (query(process_.get(), 0, path, &size) && size > 0) return std::string(path, size);
        }
        return std::nullopt;
    }

    std::optional<AccountName> Account() override {
        HANDLE rawToken = nullptr;
        if (!OpenProcessToken(process_.get(), TOKEN_QUERY, &rawToken)) return std::nullopt;
        const UniqueKernelHandle token(rawToken);
        DWORD size = 0;
        if (GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::nullopt;
        const UniqueHeapBlock tokenUser(HeapAlloc(GetProcessHeap(), 0, size));
        if (!tokenUser.get() || !GetTokenInformation(token.get(), TokenUser, tokenUser.get(), size, &size))
            return std::nullopt;
        char user[AccountNameChars], domain[AccountNameChars];
        DWORD userChars = AccountNameChars, domainChars = AccountNameChars;
        SID_NAME_USE use;
        if (!LookupAccountSidA(nullptr, static_cast<TOKEN_USER*>(tokenUser.get())->User.Sid, user, &userChars,
                               domain, &domainChars, &use))
            return std::nullopt;
        return AccountName{domain, user};
    }

  private:
    UniqueKernelHandle process_;
    bool limited_; // opened with PROCESS_QUERY_LIMITED_INFORMATION only
};

} // namespace

uint32_t Win32ProcessList::OwnProcessId() {
    DWORD pid = 0;
    if (appWindow_ && GetWindowThreadProcessId(appWindow_, &pid) != 0 && pid != 0) return pid;
    return GetCurrentProcessId();
}

std::optional<uint32_t> Win32ProcessList::EnumProcessIds(std::span<uint32_t> ids) {
    auto enumProcesses = Psapi::Get().enumProcesses;
    if (!enumProcesses) return std::nullopt;
    static_assert(sizeof(DWORD) == sizeof(uint32_t));
    std::vector<DWORD> buffer(ids.size());
    DWORD bytes = 0;
    if (!enumProcesses(buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &bytes))
        return std::nullopt;
    std::copy(buffer.begin(), buffer.end(), ids.begin());
    return bytes;
}

std::unique_ptr<InspectedProcess> Win32ProcessList::Open(uint32_t pid) {
    UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (process) return std::make_unique<Win32InspectedProcess>(std::move(process), false);
    // Since Vista that open fails for an elevated copy or another account's copy, which would then go
    // unnoticed; limited rights are still enough to read its path.
    if (!QueryFullProcessImageNameAPtr()) return nullptr;
    process.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return nullptr;
    return std::make_unique<Win32InspectedProcess>(std::move(process), true);
}

bool CheckOtherInstance(HWND appWindow, Dialogs& dialogs) {
    Win32ProcessList processes(appWindow);
    return CheckOtherInstance(processes, dialogs, ModuleFileName());
}

} // namespace tarnwick::win32
