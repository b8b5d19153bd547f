// Times LoadConfig and SaveConfig on the real file system with 1,000 and 10,000 entries, and adding
// those entries through the duplicate test, and prints each ratio against the smaller size. Near-linear
// work gives about 10; the aim is 12 at most.
#include <windows.h>

#include "config/config_store.h"
#include "config/ini_file.h"
#include "config/win32/atomic_file_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tarnwick;

namespace {

struct WinFiles : FileSystem {
    bool FileExists(const std::string& p) override {
        return GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool DirectoryExists(const std::string& p) override { return FileExists(p); }
    std::optional<std::string> ReadWholeFile(const std::string& p) override {
        HANDLE h = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return std::nullopt;
        std::string s(GetFileSize(h, nullptr), '\0');
        DWORD got = 0;
        ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
        CloseHandle(h);
        s.resize(got);
        return s;
    }
    bool DeleteFile(const std::string& p) override { return DeleteFileA(p.c_str()); }
    uint64_t FolderFileBytes(const std::string&) override { return 0; }
};

// No Run key: the benchmark leaves the registry alone (the warning box is swallowed below).
struct NoAutostart : AutostartStore {
    std::unique_ptr<RunKey> OpenRunKey() override { return nullptr; }
};
struct NoLog : Reporter {
    void WriteLog(const std::string&) override {}
    void ShowStatus(const std::string&) override {}
};
struct NoBoxes : Dialogs {
    void ShowMessage(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    void InvalidEntry(const std::string&) override {}
    void Beep() override {}
};

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Figures {
    double add, save, load;
    size_t bytes;
};

// A figure that would not measure what it names: the benchmark stops and says why.
struct CannotMeasure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Check(bool holds, const std::string& why) {
    if (!holds) throw CannotMeasure(why);
}

Figures Measure(size_t count, const std::string& path) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < count; ++i)
        paths.push_back("C:\\Virtual Machines\\Machine " + std::to_string(i) + "\\Machine " +
                        std::to_string(i) + ".vmx");
    RunFiles runFiles = RunFiles::Beside("C:\\Tools\\Tarnwick.exe", "C:\\Tools\\Tarnwick.tmp");
    runFiles.configFilePath = path;
    WinFiles files;
    win32::AtomicFileWriter writer;
    NoAutostart autostart;
    NoLog log;
    NoBoxes boxes;
    ControlList list;
    ConfigStore store(runFiles, files, writer, autostart, log, boxes, list);

    // The program saves only a file it has read in this run; a missing one reads as empty.
    DeleteFileA(path.c_str());
    Check(!files.FileExists(path), "cannot remove " + path);
    store.LoadConfig();
    Check(list.Count() == 0, "a missing file did not load as an empty list");

    Figures f{};
    size_t added = 0;
    f.add = MedianMs(9, [&] {
        list.Clear();
        added = list.AddRunningVms(paths);
        added += list.AddRunningVms(paths); // every one a duplicate now
    });
    Check(added == count && list.Count() == count,
          "adding " + std::to_string(count) + " VMs twice left " + std::to_string(list.Count()) + " entries");
    for (size_t i = 0; i < list.Count(); i += 2)
        list.Toggle(i);
    const std::vector<ControlEntry> entries = list.Entries();
    f.save = MedianMs(9, [&] {
        const Outcome saved = store.SaveConfig();
        Check(saved.ok, "the save was refused: " + saved.why);
    });
    const std::optional<std::string> written = files.ReadWholeFile(path);
    const ConfigOptions& options = list.Options();
    Check(written &&
              *written == FormatConfigFile(options.bkpAll, options.useSnapshot, entries, options.toolTimeout),
          "the saved file does not hold the list");
    f.bytes = written->size();
    f.load = MedianMs(9, [&] { store.LoadConfig(); });
    list.Clear();
    store.LoadConfig();
    Check(list.Entries() == entries, "loading gave back " + std::to_string(list.Count()) + " of " +
                                         std::to_string(count) + " entries, or other flags");
    return f;
}

} // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path =
        std::string(temp) + "tarnwick-bench-" + std::to_string(GetCurrentProcessId()) + ".ini";
    Figures small{}, large{};
    try {
        Measure(1000, path); // warm-up
        small = Measure(1000, path);
        large = Measure(10000, path);
    } catch (const CannotMeasure& e) {
        DeleteFileA(path.c_str());
        std::fprintf(stderr, "config_bench: cannot measure: %s\n", e.what());
        return 1;
    }
    DeleteFileA(path.c_str());

    std::printf("entries      add+dup ms   save ms   load ms   file bytes\n");
    std::printf("%7u   %10.2f %9.2f %9.2f %12u\n", 1000u, small.add, small.save, small.load,
                static_cast<unsigned>(small.bytes));
    std::printf("%7u   %10.2f %9.2f %9.2f %12u\n", 10000u, large.add, large.save, large.load,
                static_cast<unsigned>(large.bytes));
    std::printf("ratio 10x entries: add %.1fx, save %.1fx, load %.1fx (aim: at most 12x)\n",
                large.add / small.add, large.save / small.save, large.load / small.load);
    std::printf("checked: each save wrote the whole list, each load read it back with its flags\n");
    return 0;
}
