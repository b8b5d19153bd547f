#pragma once
// Starts child processes and waits for them on the UI thread, dispatching window messages meanwhile.
#include <windows.h>

#include "common/services.h"
#include "dos/run_limit.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::win32 {

// Hands one message to the program: the shell's version routes it through IsDialogMessage before
// TranslateMessage and DispatchMessage, and its window procedures catch what a handler throws.
using MessageDispatcher = std::function<void(MSG& msg)>;

class CommandRunner final : public Processes {
  public:
    // Without a dispatcher, messages are translated and dispatched plainly.
    explicit CommandRunner(MessageDispatcher dispatch = nullptr);

    bool RunCommandLine(const std::string& commandLine, const std::string& workingDir, bool wait,
                        uint32_t& exitCode) override;
    // The child runs in a job of its own, so that a run past its limit ends together with everything
    // it started (cmd and the tool). The wait dispatches messages throughout.
    RunEnd RunWithLimit(const std::string& commandLine, const RunLimit& limit, uint32_t& exitCode) override;
    // The runs are not bounded one by one: withinMs bounds them all.
    std::vector<std::optional<uint32_t>> RunTogether(const std::vector<std::string>& commandLines,
                                                     uint64_t withinMs) override;
    // A step is started nested in the wait of the innermost run, so the runs under way overlap while
    // each step stays one call that returns when it is done.
    void OfferWhileWaiting(size_t most, std::function<bool()> spare) override;
    // Returns after the given time, dispatching messages as they arrive.
    void Sleep(unsigned milliseconds) override;
    // Asks stop after every batch of messages it dispatched.
    void SleepUnless(unsigned milliseconds, const std::function<bool()>& stop) override;
    uint64_t TickMilliseconds() override { return ::GetTickCount64(); }

    // Takes every message now waiting out of this thread's queue and dispatches it. A WM_QUIT is held
    // back rather than handed on, and posted again when the outermost wait of this runner ends.
    void DispatchPending();

  private:
    // Counts a wait for as long as the returned guard lives.
    [[nodiscard]] auto CountWait();

    // A waited run, for the waits nested inside its own.
    struct LiveRun {
        HANDLE process;
        HANDLE job;
        bool inJob;
        LimitWatch* watch;
        bool timedOut = false;
    };
    void EndOverdueRuns();
    void OfferSpareStep();

    MessageDispatcher dispatch_;
    std::vector<LiveRun*> live_; // outermost first
    size_t most_ = 0;
    std::function<bool()> spare_;
    std::string exeDir_;
    int waits_ = 0;
    bool quitSeen_ = false;
    int quitCode_ = 0;
};

} // namespace tarnwick::win32
