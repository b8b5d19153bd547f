// Usage: runner_bench [runs] [tool.exe]
// Times one tool run through ExecVmCommand (cmd /c, the tool, the capture file, reading and judging it,
// the log line) against a bare CreateProcess and wait of the very same command line, interleaved in one
// process. Also times the CommandRunner alone and a 100 ms polling wait of that line, for comparison.
// Prints medians and ratios.
#include "common/win32/file_system.h"
#include "common/win32/module.h"
#include "dos/win32/command_runner.h"
#include "hypervisor/hypervisor.h"
#include "hypervisor/tool_commands.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace tarnwick;

namespace {

// Appends each line to a file, opening and closing it every time as the activity log does.
class FileLog : public Reporter, public Dialogs {
  public:
    explicit FileLog(std::string path) : path_(std::move(path)) {}
    void WriteLog(const std::string& msg) override {
        std::ofstream(path_, std::ios::binary | std::ios::app) << msg << "\r\n";
    }
    void ShowStatus(const std::string& msg) override { WriteLog(msg); }
    void ShowMessage(const std::string&) override {}
    bool Confirm(const std::string&) override { return true; }
    void InvalidEntry(const std::string&) override {}
    void Beep() override {}

  private:
    std::string path_;
};

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Bare(const std::string& commandLine, bool poll) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info))
        return false;
    if (poll) {
        // The old wait: dispatch, sleep 100 ms, test the handle, repeat.
        do {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            Sleep(100);
        } while (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT);
    } else {
        WaitForSingleObject(info.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string OwnDir() {
    const std::string exe = tarnwick::win32::ModuleFileName();
    return exe.substr(0, exe.find_last_of('\\') + 1);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "tarnwick_runner_bench\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "VMs").c_str(), nullptr);

    const VmwareTools tools{argc > 2 ? argv[2] : OwnDir() + "bench_trivial_tool.exe", true, ""};
    CaptureFiles captures(dir + "Tarnwick.tmp");
    const std::string logFilePath = dir + "Tarnwick.log";
    const std::string vmx = dir + "VMs\\bench vm.vmx";
    std::ofstream(vmx) << "config.version = \"8\"\n";

    FileLog log(logFilePath);
    win32::WinFileSystem files;
    win32::CommandRunner runner;
    Hypervisor hypervisor(HypervisorServices{tools, captures, log, log, runner, files,
                                             [] { return std::optional<uint32_t>(); }});
    const std::string line = BuildToolCommandLine(true, tools.toolPath, "start", vmx, captures.Outer());
    std::printf("command line: %s\n", line.c_str());

    // Four ways to run the same line; their order rotates each round so that none always follows another.
    const std::function<bool()> variants[] = {
        [&] { return Bare(line, false); },
        [&] { return hypervisor.ExecVmCommand("start", vmx); },
        [&] {
            uint32_t exitCode = 0;
            return runner.RunCommandLine(line, "", true, exitCode);
        },
        [&] { return Bare(line, true); },
    };
    std::vector<double> times[4];
    int failures = 0;
    for (int round = -2; round < runs; ++round) { // two rounds to warm up
        for (int k = 0; k < 4; ++k) {
            const int v = (k + round + 4) % 4;
            const double start = Now();
            if (!variants[v]()) ++failures;
            if (round >= 0) times[v].push_back(Now() - start);
        }
    }
    const std::vector<double>& bare = times[0];
    const std::vector<double>& exec = times[1];
    const std::vector<double>& direct = times[2];
    const std::vector<double>& polled = times[3];
    const double bareMedian = Median(bare), execMedian = Median(exec), polledMedian = Median(polled);
    std::printf("runs: %d (interleaved), tool: %s, failed runs: %d\n", runs, tools.toolPath.c_str(),
                failures);
    std::printf("bare CreateProcess + wait:       median %8.2f ms\n", bareMedian);
    std::printf("ExecVmCommand:                   median %8.2f ms\n", execMedian);
    std::printf("CommandRunner wait alone:        median %8.2f ms\n", Median(direct));
    std::printf("100 ms polling wait (old):       median %8.2f ms\n", polledMedian);
    std::printf("ratio ExecVmCommand / bare:      %.3f (overhead %+.1f%%, target at most +10%%)\n",
                execMedian / bareMedian, 100.0 * (execMedian / bareMedian - 1));
    std::printf("ratio polling wait / bare:       %.3f\n", polledMedian / bareMedian);
    // Process start-up under Wine varies by tens of milliseconds; the fastest runs and the per-round
    // differences show the added cost with less of that noise.
    std::vector<double> added;
    for (size_t i = 0; i < bare.size(); ++i)
        added.push_back(exec[i] - bare[i]);
    std::printf("fastest runs: bare %.2f ms, ExecVmCommand %.2f ms, ratio %.3f\n",
                *std::min_element(bare.begin(), bare.end()), *std::min_element(exec.begin(), exec.end()),
                *std::min_element(exec.begin(), exec.end()) / *std::min_element(bare.begin(), bare.end()));
    std::printf("per-round difference ExecVmCommand - bare: median %+.2f ms\n", Median(added));
    DeleteFileA(captures.Outer().c_str());
    return failures == 0 ? 0 : 1;
}
