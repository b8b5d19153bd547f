#include <windows.h>

#include "sequences/win32/file_copy.h"

#include "common/win32/handles.h"
#include "common/win32/wide_text.h"
#include "dos/run_limit.h"

#include <atomic>
#include <memory>

namespace tarnwick::win32 {

namespace {

using CopyEnd = BackupFolders::CopyEnd;

// What the copying thread and the waiting one share; whichever ends last frees it.
struct CopyJob {
    std::wstring from, to;
    std::atomic<uint64_t> copied{0}; // bytes, as the progress routine reports them
    std::atomic<bool> cancel{false};
    // Written by the thread before it ends, read only after its end was seen.
    BOOL ok = FALSE;
    DWORD error = 0;
};

DWORD CALLBACK OnProgress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                          DWORD, HANDLE, HANDLE, LPVOID data) {
    auto& job = *static_cast<CopyJob*>(data);
    job.copied.store(static_cast<uint64_t>(transferred.QuadPart));
    return job.cancel.load() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

DWORD WINAPI CopyThread(LPVOID param) {
    const std::unique_ptr<std::shared_ptr<CopyJob>> held(static_cast<std::shared_ptr<CopyJob>*>(param));
    CopyJob& job = **held;
    job.ok = ::CopyFileExW(job.from.c_str(), job.to.c_str(), OnProgress, &job, nullptr, 0);
    job.error = job.ok ? 0 : ::GetLastError();
    return 0;
}

// Wine never calls the progress routine; there the target's growth is the only sign of progress.
uint64_t FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// As the command runner's wait: MWMO_INPUTAVAILABLE wakes for messages that a PeekMessage has already
// seen and left in the queue, which QS_ALLINPUT alone would sleep through.
DWORD WaitForThreadOrInput(HANDLE thread, DWORD timeout, bool input) {
    if (!input) return ::WaitForSingleObject(thread, timeout);
    return ::MsgWaitForMultipleObjectsEx(1, &thread, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

} // namespace

BackupFolders::CopyResult CopyFileWatched(const std::string& from, const std::string& to,
                                          uint32_t stallSeconds, const std::function<void()>& answer,
                                          const std::function<void(uint64_t)>& copied) {
    const auto job = std::make_shared<CopyJob>();
    job->from = Widen(from);
    job->to = Widen(to);
    auto* param = new std::shared_ptr<CopyJob>(job);
    const UniqueKernelHandle thread(::CreateThread(nullptr, 0, CopyThread, param, 0, nullptr));
    if (!thread) {
        const DWORD error = ::GetLastError();
        delete param;
        return {CopyEnd::Failed, error};
    }
    bool first = true;
    const RunLimit limit{stallSeconds, [&job, &copied, &first] {
                             const uint64_t reported = job->copied.load(), grown = FileBytes(job->to);
                             // The target may be given its whole size up front where the routine is called,
                             // and the look taken as the wait begins may still see its previous content.
                             if (copied && !first) copied(reported ? reported : grown);
                             first = false;
                             return reported + grown;
                         }};
    LimitWatch watch(limit, ::GetTickCount64());
    for (;;) {
        const DWORD woke =
            WaitForThreadOrInput(thread.get(), watch.NextLookMs(::GetTickCount64()), bool(answer));
        if (woke == WAIT_OBJECT_0) break;
        if (answer && woke == WAIT_OBJECT_0 + 1) {
            answer();
            // What answer leaves in the queue (the runner posts a quit again as its own wait ends) would
            // wake the next wait at once, again and again: the copy alone is waited for a moment first.
            if (::WaitForSingleObject(thread.get(), 10) == WAIT_OBJECT_0) break;
        } else if (woke == WAIT_FAILED) {
            // The combined wait itself failed (not seen in practice): fall back to short polls.
            if (::WaitForSingleObject(thread.get(), 10) != WAIT_TIMEOUT) break;
        }
        if (watch.Expired(::GetTickCount64())) {
            // The progress routine cancels between blocks; a read or write stuck in between is cancelled
            // here, where the system can.
            job->cancel.store(true);
            ::CancelSynchronousIo(thread.get());
            ::WaitForSingleObject(thread.get(), 5000);
            return {CopyEnd::Stalled, 0};
        }
    }
    if (!job->ok) return {CopyEnd::Failed, job->error};
    return {CopyEnd::Copied, 0};
}

} // namespace tarnwick::win32
