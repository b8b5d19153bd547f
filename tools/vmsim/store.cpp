#include "store.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vmsim {

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool ParseUnsigned(const std::string& text, unsigned long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < -2147483648LL || v > 4294967295LL) return false;
    value = static_cast<unsigned long>(static_cast<unsigned long long>(v) & 0xFFFFFFFFULL);
    return true;
}

void CreateFolders(const std::string& dir) {
    if (dir.size() <= 3 || GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    size_t cut = dir.find_last_of('\\', dir.size() - 2);
    if (cut != std::string::npos) CreateFolders(dir.substr(0, cut + 1));
    CreateDirectoryA(dir.c_str(), nullptr);
}

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return dir;
}

std::string FullPath(const std::string& path) {
    char buf[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
    if (n == 0 || n >= sizeof buf) return path;
    return std::string(buf, n);
}

} // namespace

const char* PowerName(Power p) {
    switch (p) {
    case Power::Running:
        return "running";
    case Power::Suspended:
        return "suspended";
    default:
        return "off";
    }
}

std::optional<Power> ParsePower(const std::string& text) {
    std::string t = Lower(text);
    if (t == "off") return Power::Off;
    if (t == "running" || t == "on") return Power::Running;
    if (t == "suspended") return Power::Suspended;
    return std::nullopt;
}

unsigned long long NowMs() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

void SetPower(Vm& vm, Power power) {
    if (power == Power::Running && vm.power != Power::Running) vm.runningSince = NowMs();
    if (power != Power::Running) vm.runningSince = 0;
    vm.power = power;
}

std::string ToolsState(const Vm& vm) {
    if (vm.toolsNotInstalled) return "not installed";
    if (vm.power != Power::Running) return "unknown";
    return NowMs() - vm.runningSince >= vm.toolsAfterMs ? "running" : "installed";
}

Vm* State::Find(const std::string& path) {
    std::string key = PathKey(path);
    for (Vm& vm : vms)
        if (PathKey(vm.path) == key) return &vm;
    return nullptr;
}

Vm& State::Register(const std::string& path) {
    if (Vm* vm = Find(path)) return *vm;
    vms.push_back(Vm{path, Power::Off, {}});
    return vms.back();
}

bool State::Remove(const std::string& path) {
    std::string key = PathKey(path);
    for (auto it = vms.begin(); it != vms.end(); ++it) {
        if (PathKey(it->path) == key) {
            vms.erase(it);
            return true;
        }
    }
    return false;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string PathKey(const std::string& path) {
    if (path.empty() || path == "*") return path;
    std::string key = FullPath(path);
    // Upper-cased by the system's rules, as the file system compares names (kernel32's LCMapString rather
    // than user32's CharUpper: user32 would add to every run's start-up).
    std::string upper(key.size() * 2 + 1, '\0');
    int n = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, key.data(), static_cast<int>(key.size()),
                         upper.data(), static_cast<int>(upper.size()));
    if (n > 0) key.assign(upper.data(), static_cast<size_t>(n));
    return key;
}

bool SamePath(const std::string& a, const std::string& b) {
    return PathKey(a) == PathKey(b);
}

std::string EncodeText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 32) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "{x%02X}", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string DecodeText(const std::string& text) {
    static const std::pair<const char*, const char*> kTokens[] = {
        {"{CRLF}", "\r\n"}, {"{CR}", "\r"}, {"{LF}", "\n"}, {"{TAB}", "\t"}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool done = false;
        if (text[i] == '{') {
            for (const auto& [token, bytes] : kTokens) {
                size_t n = std::char_traits<char>::length(token);
                if (text.compare(i, n, token) == 0) {
                    out += bytes;
                    i += n;
                    done = true;
                    break;
                }
            }
            if (!done && i + 4 < text.size() && text[i + 1] == 'x' && text[i + 4] == '}' &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
                std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
                out += static_cast<char>(std::strtoul(text.substr(i + 2, 2).c_str(), nullptr, 16));
                i += 5;
                done = true;
            }
        }
        if (!done) out += text[i++];
    }
    return out;
}

std::string ExePath() {
    char buf[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return std::string(buf, n < sizeof buf ? n : 0);
}

std::string ExeDir() {
    std::string exe = ExePath();
    return exe.substr(0, exe.find_last_of("\\/:") + 1);
}

std::string ResolveHome() {
    std::string home;
    char buf[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableA("VMSIM_HOME", buf, sizeof buf);
    if (n > 0 && n < sizeof buf) {
        home = buf;
    } else {
        std::string ini = ExeDir() + "vmsim.ini";
        if (FileExists(ini)) {
            GetPrivateProfileStringA("vmsim", "Home", "", buf, sizeof buf, ini.c_str());
            home = buf;
        }
        // A relative Home is taken from the executable's folder, not from whatever the caller's is.
        if (!home.empty() && !(home.size() > 1 && (home[1] == ':' || (home[0] == '\\' && home[1] == '\\'))))
            home = ExeDir() + home;
        if (home.empty()) home = ExeDir();
    }
    home = WithSlash(FullPath(home));
    CreateFolders(home);
    return home;
}

Store::Store(std::string home) : home_(WithSlash(std::move(home))) {}

Store::Lock::Lock(const Store& store) {
    // Mutex names may not hold backslashes, so the folder is reduced to a hash.
    unsigned long long hash = 1469598103934665603ULL;
    for (unsigned char c : PathKey(store.home_))
        hash = (hash ^ c) * 1099511628211ULL;
    char name[64];
    std::snprintf(name, sizeof name, "vmsim-%016llx", hash);
    mutex_.reset(CreateMutexA(nullptr, FALSE, name));
    // An abandoned mutex still hands over ownership; the state file is replaced atomically, so what the
    // dead holder left behind is whole.
    if (mutex_ && WaitForSingleObject(mutex_.get(), 60000) == WAIT_TIMEOUT) mutex_.reset();
}

Store::Lock::~Lock() {
    if (mutex_) ReleaseMutex(mutex_.get());
}

State Store::Load() const {
    State state;
    // A state file that exists but cannot be read for a moment must not read as "no VMs": the next save
    // would then forget every VM.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (auto text = ReadFileBytes(StatePath())) {
            ParseState(*text, state);
            return state;
        }
        if (!FileExists(StatePath())) return state;
        Sleep(20);
    }
    std::fprintf(stderr, "vmsim: could not read %s\n", StatePath().c_str());
    ExitProcess(3);
}

void Store::Save(const State& state) const {
    std::string temp = StatePath() + ".new";
    // A reader outside the lock (a test peeking at the file) can hold it for a moment; an update that
    // is silently lost would make the simulator lie about a VM, so keep trying for a while.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (WriteFileBytes(temp, FormatState(state)) &&
            MoveFileExA(temp.c_str(), StatePath().c_str(), MOVEFILE_REPLACE_EXISTING))
            return;
        Sleep(20);
    }
    std::fprintf(stderr, "vmsim: could not save %s\n", StatePath().c_str());
}

void Store::AppendJournal(const std::string& line) const {
    UniqueFile file(CreateFileA(JournalPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    std::string bytes = line + "\r\n";
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string Store::ReadJournal() const {
    return ReadFileBytes(JournalPath()).value_or("");
}

void Store::ClearJournal() const {
    DeleteFileA(JournalPath().c_str());
}

bool ApplyVmItem(Vm& vm, const std::string& item) {
    unsigned long number = 0;
    if (item.starts_with("since=")) {
        char* end = nullptr;
        vm.runningSince = std::strtoull(item.c_str() + 6, &end, 10);
        return *end == '\0' && end != item.c_str() + 6;
    }
    if (item == "tools=not-installed") {
        vm.toolsNotInstalled = true;
        return true;
    }
    if (item.starts_with("tools=") && ParseUnsigned(item.substr(6), number)) {
        vm.toolsAfterMs = number;
        vm.toolsNotInstalled = false;
        return true;
    }
    if (item == "shutdown=refuse") {
        vm.shutdownRefused = true;
        return true;
    }
    if (item.starts_with("shutdown=") && ParseUnsigned(item.substr(9), number)) {
        vm.shutdownAfterMs = number;
        vm.shutdownRefused = false;
        return true;
    }
    return false;
}

bool ApplyInjectionItem(Injection& inj, const std::string& item) {
    size_t eq = item.find('=');
    std::string key = item.substr(0, eq);
    std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
    unsigned long number = 0;
    bool hasValue = eq != std::string::npos;
    if (key == "stdout" && hasValue)
        inj.out = EncodeText(value);
    else if (key == "stderr" && hasValue)
        inj.err = EncodeText(value);
    else if (key == "exit" && ParseUnsigned(value, number))
        inj.exitCode = number;
    else if (key == "delay" && ParseUnsigned(value, number))
        inj.delayMs = number;
    else if (key == "times" && ParseUnsigned(value, number) && number < 0x7FFFFFFF)
        inj.times = static_cast<long>(number);
    else if (item == "hang")
        inj.hang = true;
    else if (item == "run")
        inj.run = true;
    else if (item == "raw")
        inj.raw = true;
    else if (item == "ends")
        inj.ends = true;
    else
        return false;
    return true;
}

std::string ParseState(const std::string& text, State& state) {
    int lineNo = 0;
    for (const std::string& line : SplitLines(text)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f = SplitTabs(line);
        std::string bad = "line " + std::to_string(lineNo) + ": ";
        if (f[0] == "vm" && f.size() >= 3) {
            auto power = ParsePower(f[1]);
            if (!power) return bad + "unknown state " + f[1];
            Vm& vm = state.Register(f[2]);
            vm.power = *power; // without since=, a running VM has been running for long
            for (size_t i = 3; i < f.size(); ++i)
                if (!ApplyVmItem(vm, f[i])) return bad + "bad vm item " + f[i];
        } else if (f[0] == "snapshot" && f.size() == 3) {
            state.Register(f[1]).snapshots.push_back(f[2]);
        } else if (f[0] == "inject" && f.size() >= 3) {
            Injection inj;
            inj.vm = f[1];
            inj.verb = Lower(f[2]);
            for (size_t i = 3; i < f.size(); ++i)
                if (!ApplyInjectionItem(inj, f[i])) return bad + "bad injection item " + f[i];
            state.injections.push_back(inj);
        } else {
            return bad + "not understood";
        }
    }
    return "";
}

std::string FormatState(const State& state) {
    std::ostringstream out;
    out << "# vmsim state: vm<TAB>state<TAB>path[<TAB>since=MS][<TAB>tools=MS|not-installed]"
           "[<TAB>shutdown=MS|refuse], "
           "snapshot<TAB>path<TAB>name, "
           "inject<TAB>vm<TAB>verb<TAB>items\r\n";
    for (const Vm& vm : state.vms) {
        out << "vm\t" << PowerName(vm.power) << '\t' << vm.path;
        // Only a boot time needs the start time; other lines keep their plain form.
        if (vm.power == Power::Running && vm.toolsAfterMs && !vm.toolsNotInstalled)
            out << "\tsince=" << vm.runningSince;
        if (vm.toolsNotInstalled)
            out << "\ttools=not-installed";
        else if (vm.toolsAfterMs)
            out << "\ttools=" << vm.toolsAfterMs;
        if (vm.shutdownRefused)
            out << "\tshutdown=refuse";
        else if (vm.shutdownAfterMs)
            out << "\tshutdown=" << vm.shutdownAfterMs;
        out << "\r\n";
    }
    for (const Vm& vm : state.vms)
        for (const std::string& snap : vm.snapshots)
            out << "snapshot\t" << vm.path << '\t' << snap << "\r\n";
    for (const Injection& inj : state.injections) {
        out << "inject\t" << inj.vm << '\t' << inj.verb;
        if (inj.out) out << "\tstdout=" << *inj.out;
        if (inj.err) out << "\tstderr=" << *inj.err;
        if (inj.exitCode) out << "\texit=" << *inj.exitCode;
        if (inj.delayMs) out << "\tdelay=" << inj.delayMs;
        if (inj.times >= 0) out << "\ttimes=" << inj.times;
        if (inj.hang) out << "\thang";
        if (inj.run) out << "\trun";
        if (inj.raw) out << "\traw";
        if (inj.ends) out << "\tends";
        out << "\r\n";
    }
    return out.str();
}

std::string JournalLine(const std::string& role, const std::vector<std::string>& args) {
    // A field never holds a tab or a line break; control characters (never part of a Windows path) are
    // shown as '?'.
    auto clean = [](std::string s) {
        for (char& c : s)
            if (static_cast<unsigned char>(c) < 32) c = '?';
        return s;
    };
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    char cwd[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string line = std::string(stamp) + '\t' + std::to_string(GetCurrentProcessId()) + '\t' + role +
                       '\t' + clean(ExePath()) + '\t' + clean(std::string(cwd, n < sizeof cwd ? n : 0));
    for (const std::string& arg : args)
        line += '\t' + clean(arg);
    return line;
}

bool FileExists(const std::string& path) {
    DWORD attrs = GetFileAttributesA(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buf[8192];
    DWORD got = 0;
    while (ReadFile(file.get(), buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void WriteStd(DWORD which, const std::string& bytes) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || bytes.empty()) return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace vmsim
