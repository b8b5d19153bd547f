#include "dos/win32/command_runner.h"

#include "common/paths.h"
#include "common/scope_exit.h"
#include "common/win32/handles.h"
#include "common/win32/module.h"
#include "dos/command_line.h"
#include "dos/run_limit.h"

#include <algorithm>
#include <utility>

namespace tarnwick::win32 {

namespace {

// Wakes for the object (if any) or for input. MWMO_INPUTAVAILABLE matters: without it, QS_ALLINPUT
// reports only messages that arrived since the queue was last looked at, so a message that some
// PeekMessage (a dialog's, a handler's, a modal loop's) has already seen but left in the queue would
// not wake the wait, and would sit there unhandled until the child ended. With the flag the wait
// returns at once while anything is queued, which is why every wake drains the queue completely.
DWORD WaitForObjectOrInput(HANDLE object, DWORD timeout) {
    return ::MsgWaitForMultipleObjectsEx(object ? 1 : 0, object ? &object : nullptr, timeout, QS_ALLINPUT,
                                         MWMO_INPUTAVAILABLE);
}

} // namespace

// A WM_QUIT posted again during the wait would wake the wait at once, forever; so it is kept until
// the outermost wait ends, and then posted for the loop that asked for it.
auto CommandRunner::CountWait() {
    ++waits_;
    return ScopeExit([this] {
        if (--waits_ == 0 && std::exchange(quitSeen_, false)) ::PostQuitMessage(quitCode_);
    });
}

CommandRunner::CommandRunner(MessageDispatcher dispatch)
    : dispatch_(std::move(dispatch)), exeDir_(DirectoryPart(ModuleFileName())) {}

bool CommandRunner::RunCommandLine(const std::string& commandLine, const std::string& workingDir, bool wait,
                                   uint32_t& exitCode) {
    exitCode = 0;
    const CompletedCommand command = CompleteCommandLine(commandLine, workingDir, exeDir_);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = command.commandLine; // CreateProcessA may write into its command-line buffer
    const char* currentDir = command.currentDirectory.empty() ? nullptr : command.currentDirectory.c_str();
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, currentDir, &startup, &info))
        return false;
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    if (!wait) return true;

    {
        const auto waiting = CountWait();
        for (;;) {
            const DWORD woke = WaitForObjectOrInput(process.get(), INFINITE);
            if (woke == WAIT_OBJECT_0) break;
            if (woke == WAIT_OBJECT_0 + 1) {
                DispatchPending();
                continue;
            }
            // The combined wait itself failed (not seen in practice): fall back to short polls.
            if (::WaitForSingleObject(process.get(), 10) != WAIT_TIMEOUT) break;
            DispatchPending();
        }
    }
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code)) exitCode = code;
    return true;
}

namespace {

// Bytes the job's processes have read and written so far: on Windows this shows a copy's progress even
// when the target file was given its full size up front. Zero where the system does not keep it.
uint64_t JobTransferBytes(HANDLE job) {
    JOBOBJECT_BASIC_AND_IO_ACCOUNTING_INFORMATION info{};
    if (!job || !::QueryInformationJobObject(job, JobObjectBasicAndIoAccountingInformation, &info,
                                             sizeof info, nullptr))
        return 0;
    return info.IoInfo.ReadTransferCount + info.IoInfo.WriteTransferCount;
}

} // namespace

RunEnd CommandRunner::RunWithLimit(const std::string& commandLine, const RunLimit& limit,
                                   uint32_t& exitCode) {
    exitCode = 0;
    // No kill-on-close: what a tool leaves running on purpose after a normal end is none of ours.
    const UniqueKernelHandle job(::CreateJobObjectA(nullptr, nullptr));
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
        info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &info, sizeof info);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    // Started suspended so that it is in the job before it can start anything of its own.
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr,
                          &startup, &info))
        return RunEnd::NotStarted;
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    // Fails where our own job allows no nested one (before Windows 8); then only cmd can be ended.
    const bool inJob = job && ::AssignProcessToJobObject(job.get(), process.get());
    ::ResumeThread(thread.get());

    LimitWatch watch(limit, ::GetTickCount64());
    LiveRun run{process.get(), job.get(), inJob, &watch};
    {
        const auto waiting = CountWait();
        live_.push_back(&run);
        const ScopeExit gone([this] { live_.pop_back(); });
        for (;;) {
            // With steps offered, look often: a run further up the stack may end while this one waits.
            const DWORD look = spare_ ? 50 : watch.NextLookMs(::GetTickCount64());
            const DWORD woke = WaitForObjectOrInput(process.get(), look);
            if (woke == WAIT_OBJECT_0) break;
            if (woke == WAIT_OBJECT_0 + 1) {
                DispatchPending();
            } else if (woke != WAIT_TIMEOUT) {
                // The combined wait itself failed (not seen in practice): fall back to short polls.
                if (::WaitForSingleObject(process.get(), 10) != WAIT_TIMEOUT) break;
                DispatchPending();
            }
            EndOverdueRuns();
            if (run.timedOut) break;
            OfferSpareStep();
        }
    }
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code)) exitCode = code;
    return run.timedOut ? RunEnd::TimedOut : RunEnd::Exited;
}

// Every run on the stack is watched here, not only the innermost one: a run waiting further up cannot
// look at its own limit until the steps started inside its wait have returned.
void CommandRunner::EndOverdueRuns() {
    const ULONGLONG now = ::GetTickCount64();
    for (LiveRun* run : live_) {
        if (run->timedOut || ::WaitForSingleObject(run->process, 0) != WAIT_TIMEOUT) continue;
        if (!run->watch->Expired(now, run->inJob ? JobTransferBytes(run->job) : 0)) continue;
        if (!run->inJob || !::TerminateJobObject(run->job, ERROR_TIMEOUT))
            ::TerminateProcess(run->process, ERROR_TIMEOUT);
        ::WaitForSingleObject(run->process, 5000);
        run->timedOut = true;
    }
}

void CommandRunner::OfferSpareStep() {
    if (!spare_) return;
    const auto underWay = std::count_if(live_.begin(), live_.end(), [](const LiveRun* run) {
        return ::WaitForSingleObject(run->process, 0) == WAIT_TIMEOUT;
    });
    if (static_cast<size_t>(underWay) >= most_) return;
    // A copy: the step may end the offer.
    const std::function<bool()> spare = spare_;
    spare();
}

void CommandRunner::OfferWhileWaiting(size_t most, std::function<bool()> spare) {
    most_ = most;
    spare_ = std::move(spare);
}

std::vector<std::optional<uint32_t>> CommandRunner::RunTogether(const std::vector<std::string>& commandLines,
                                                                uint64_t withinMs) {
    std::vector<UniqueKernelHandle> processes;
    for (const std::string& commandLine : commandLines) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::string line = commandLine;
        // No console of their own: nothing is read from them, and making one costs each start time.
        const bool started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                                              CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                                              &startup, &info) != FALSE;
        if (started) ::CloseHandle(info.hThread);
        processes.emplace_back(started ? info.hProcess : nullptr);
    }
    std::vector<std::optional<uint32_t>> codes(commandLines.size());
    const auto waiting = CountWait();
    const ULONGLONG end = ::GetTickCount64() + withinMs;
    for (;;) {
        bool running = false;
        for (size_t i = 0; i < processes.size(); ++i) {
            if (!processes[i] || codes[i]) continue;
            DWORD code = 0;
            if (::WaitForSingleObject(processes[i].get(), 0) == WAIT_OBJECT_0 &&
                ::GetExitCodeProcess(processes[i].get(), &code))
                codes[i] = code;
            else
                running = true;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (!running || now >= end) break;
        // A short look at each child in turn: more than MAXIMUM_WAIT_OBJECTS of them may run.
        if (WaitForObjectOrInput(nullptr, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50))) ==
            WAIT_OBJECT_0)
            DispatchPending();
    }
    return codes;
}

void CommandRunner::Sleep(unsigned milliseconds) {
    SleepUnless(milliseconds, [] { return false; });
}

void CommandRunner::SleepUnless(unsigned milliseconds, const std::function<bool()>& stop) {
    const auto waiting = CountWait();
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (ULONGLONG now = ::GetTickCount64(); now < end && !stop(); now = ::GetTickCount64()) {
        const DWORD woke = WaitForObjectOrInput(nullptr, static_cast<DWORD>(end - now));
        if (woke == WAIT_OBJECT_0) {
            DispatchPending();
        } else if (woke != WAIT_TIMEOUT) {
            ::Sleep(static_cast<DWORD>(end - now));
            break;
        }
    }
}

void CommandRunner::DispatchPending() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitSeen_ = true;
            quitCode_ = static_cast<int>(msg.wParam);
            if (waits_ == 0) break; // called outside a wait: hand it back at once
            continue;
        }
        if (dispatch_) {
            dispatch_(msg);
        } else {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    if (waits_ == 0 && std::exchange(quitSeen_, false)) ::PostQuitMessage(quitCode_);
}

} // namespace tarnwick::win32
