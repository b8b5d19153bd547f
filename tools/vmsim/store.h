#pragma once
// The simulator's persistent side: where its files live, the cross-process lock, the state file and the
// journal. Every tool process reads and rewrites the whole state under the lock; the files are small.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vmsim {

// A move-only owner of a kernel handle; `Empty` is the value that means "none" for its kind.
template <HANDLE (*Empty)()> class Owned {
  public:
    Owned() = default;
    explicit Owned(HANDLE h) : h_(h) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& o) noexcept : h_(std::exchange(o.h_, Empty())) {}
    Owned& operator=(Owned&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Empty()));
        return *this;
    }
    ~Owned() { reset(); }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != Empty(); }
    void reset(HANDLE h = Empty()) {
        if (h_ != Empty()) ::CloseHandle(h_);
        h_ = h;
    }

  private:
    HANDLE h_ = Empty();
};
inline HANDLE NoHandle() {
    return nullptr;
}
inline HANDLE NoFile() {
    return INVALID_HANDLE_VALUE;
}
using UniqueHandle = Owned<NoHandle>;
using UniqueFile = Owned<NoFile>;

enum class Power { Off, Running, Suspended };
const char* PowerName(Power p); // "off", "running", "suspended"
std::optional<Power> ParsePower(const std::string& text);

struct Vm {
    std::string path; // as first registered; printed back exactly so
    Power power = Power::Off;
    std::vector<std::string> snapshots;
    // The guest's VMware Tools: they run once the VM has been running this long, unless not installed.
    unsigned long long runningSince = 0; // milliseconds since 1601, while running
    unsigned long toolsAfterMs = 0;
    bool toolsNotInstalled = false;
    // A soft stop: the guest's tools shut it down this long after they are asked, or refuse to.
    unsigned long shutdownAfterMs = 0;
    bool shutdownRefused = false;
};

// Every change of power goes through here, so that a VM's boot time starts when it starts running.
void SetPower(Vm& vm, Power power);
unsigned long long NowMs();
// What vmrun's checkToolsState prints for the VM: "running", "installed", "unknown" or "not installed".
std::string ToolsState(const Vm& vm);

// One configured failure. Texts are kept in their stored form ({CR}, {LF}, {CRLF}, {TAB}, {xHH}).
struct Injection {
    std::string vm;   // VM path or "*"
    std::string verb; // lower case, optionally "role:verb", or "*"
    std::optional<std::string> out;
    std::optional<std::string> err;
    std::optional<unsigned long> exitCode;
    unsigned long delayMs = 0;
    long times = -1; // calls left; -1 for no limit
    bool hang = false;
    bool run = false;  // carry out the verb even though the answer is replaced
    bool raw = false;  // no line break after the texts
    bool ends = false; // journal a second line when the call answers, so runs can be seen to overlap
    bool Replaces() const { return out.has_value() || exitCode.has_value(); }
};

struct State {
    std::vector<Vm> vms;
    std::vector<Injection> injections;

    Vm* Find(const std::string& path);
    Vm& Register(const std::string& path); // finds or appends (state off)
    bool Remove(const std::string& path);
};

// The identity of a VM path: full path, upper case, so "c:\vms\A.vmx" and "C:\VMs\a.vmx" are one VM.
std::string PathKey(const std::string& path);
bool SamePath(const std::string& a, const std::string& b);
std::string Lower(std::string s);

// Stored-form texts: control characters are written as tokens so that a value fits on one line.
std::string EncodeText(const std::string& text);
std::string DecodeText(const std::string& text);

// Where the files live: %VMSIM_HOME%, else Home= in [vmsim] of vmsim.ini beside the executable, else the
// executable's own folder. The folder is created when missing.
std::string ResolveHome();
std::string ExeDir(); // with a trailing backslash
std::string ExePath();

class Store {
  public:
    explicit Store(std::string home);
    const std::string& Home() const { return home_; }
    std::string StatePath() const { return home_ + "vmsim-state.txt"; }
    std::string JournalPath() const { return home_ + "vmsim-journal.txt"; }

    // Held for every read-modify-write of the state and every journal append. A named mutex rather than
    // a file lock: it is released by the system when a holder is killed (a test ends a hung tool so).
    class Lock {
      public:
        explicit Lock(const Store& store);
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        ~Lock();

      private:
        UniqueHandle mutex_;
    };

    State Load() const;
    void Save(const State& state) const;
    void AppendJournal(const std::string& line) const;
    std::string ReadJournal() const;
    void ClearJournal() const;

  private:
    std::string home_;
};

// One "since=MS", "tools=MS|not-installed" or "shutdown=MS|refuse" item of a vm line.
bool ApplyVmItem(Vm& vm, const std::string& item);
// One "key=value" or flag of an injection, as the control command and the state file both give them.
bool ApplyInjectionItem(Injection& inj, const std::string& item);
std::string ParseState(const std::string& text, State& state); // returns an error text, "" when fine
std::string FormatState(const State& state);

// One journal line, without its line break: time, pid, role, executable, working directory, arguments.
std::string JournalLine(const std::string& role, const std::vector<std::string>& args);

bool FileExists(const std::string& path);
std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
void WriteStd(DWORD which, const std::string& bytes);

} // namespace vmsim
