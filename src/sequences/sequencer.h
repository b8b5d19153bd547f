#pragma once
// The start sequence (the list top to bottom, or one entry from the launch button) and the suspend
// sequence (the list bottom-up, then every other running VM), with the rules for what may run inside
// what: every wait lets window messages through, so handlers nest on the one thread.
//
//   - A start sequence runs inside nothing else; the launch button is ignored while any sequence runs.
//   - A suspension may begin inside a start sequence (a logoff, or Exit, while the start waits). From
//     then on that start sequence starts nothing more, and a VM or Team whose start was under way is
//     suspended as soon as its start returns; only then is the start over.
//   - Only one suspension runs at a time; a second one asked for meanwhile is not started.
//   - Once Exit has closed the program, nothing more is started either.
//
// The suspension's second pass records in Tarnwick.resume the VMs it suspended that the next start
// would not start itself; a start with ResumeOthers on starts them after the list.
#include "common/services.h"
#include "hypervisor/vmware_tools.h"
#include "sequences/end_session_gate.h"
#include "sequences/failure_notice.h"
#include "sequences/ports.h"
#include "sequences/resume_record.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// What the start and the suspension need for Tarnwick.resume.
struct ResumeServices {
    ResumeRecord& record;
    FileSystem& files; // whether a recorded VM's .vmx is still there
    // Read at each start and suspension: ResumeOthers decides what a start does with the record, and
    // ParallelSuspend how many suspends a suspension runs at once.
    const ConfigOptions& options;
};

// Both functions must be set: the sequencer refuses to be built without them (std::logic_error).
struct SequenceServices {
    VmwareTools vmware;
    ControlListView& list;
    VmOperations& vms;
    Reporter& reporter;
    Dialogs& dialogs;
    Processes& processes;
    EndSessionGate& gate;
    // The local date and time in the user's formats: date, one blank, time.
    std::function<std::string()> localDateTime;
    // Removes the tray icon and asks the event loop to end; returns to its caller.
    std::function<void()> quitApp;
    ResumeServices resume;
};

class Sequencer {
  public:
    explicit Sequencer(SequenceServices services);

    // Carries out every enabled entry in list order. Holds the end of the session before anything runs.
    void StartAll();
    // Carries out the selected entry whatever its flag; a logoff or shutdown is held from then on.
    void LaunchSelected();

    // Both passes. False when it was not started because a suspension is already running.
    bool SuspendAll();
    // A session that ends whatever we do: every VM that still runs, listed or not, is suspended at once,
    // except those whose suspend we started already. Returns when they are done or after withinSeconds;
    // true when every one was suspended. Nothing is started from then on. kind names the ending.
    bool SuspendRunningAtOnce(const std::string& kind, uint32_t withinSeconds);
    // The user chose Exit: offers to suspend the VMs, then closes the program.
    void ExitWithSuspendOffer();

    bool IsSuspending() const { return suspending_; }
    bool IsStarting() const { return starting_; }
    // A VM or Team start runs, or the suspension of what it started: what a suspension that ran meanwhile
    // may have missed is not suspended yet.
    bool IsStartUnderWay() const { return startUnderWay_; }
    // Called at the end of every completed suspension, after its last status.
    void SetSuspensionCompleteHandler(std::function<void()> handler) {
        onSuspensionComplete_ = std::move(handler);
    }
    // Called as a suspension goes: the VMs it has dealt with, of those it knows of so far.
    void SetSuspendProgressHandler(std::function<void(size_t done, size_t total)> handler) {
        onSuspendProgress_ = std::move(handler);
    }
    // Called when a start during which a suspension began has returned and what it started is suspended.
    void SetStartCaughtUpHandler(std::function<void()> handler) { onStartCaughtUp_ = std::move(handler); }
    // Called once at the end of a start or suspend run that failed in part, with the notice's text.
    void SetFailureNoticeHandler(std::function<void(const std::string&)> handler) {
        onFailureNotice_ = std::move(handler);
    }
    // A tool run passed its time limit: counted against the runs under way, whose notice then says so.
    void LimitPassed();

  private:
    [[nodiscard]] auto BeginStart();
    std::optional<std::string> StopReason() const;
    // Carries out entry i, whose text the caller read. expected: StartAll's record of the texts it has
    // yet to reach, kept up to date when a prompt marks the next entry.
    void RunEntry(size_t i, const std::string& text, std::vector<std::string>* expected);
    bool RefuseAfterStatus(const std::string& text);
    void OpenTeam(const std::string& text);
    void Delay(const std::string& text);
    void SleepSeconds(const std::string& text, std::string_view secondsText, int32_t seconds);
    void Wait(size_t i, const std::string& text);
    void Prompt(size_t i, const std::string& text, std::vector<std::string>* expected);
    void StartVm(size_t i, const std::string& text);
    // Runs one start (verb "Team" or "VM" for the lines) and suspends the entry after it when a suspension
    // began meanwhile.
    template <class Start> void RunStart(const std::string& text, const char* what, Start start);
    // True when it reached the end of the list.
    bool StartListed();
    // The VMs of the record, after the list, when the user asked for them. False when the run was
    // stopped meanwhile.
    bool RestartRecorded();
    // The one step per VM of a suspension, by its entry's stop action (stop_action.h). True when the VM
    // was suspended or shut down.
    bool Suspend(const std::string& text, bool wasRunning);
    // Runs the steps, up to most at once (see Processes::OfferWhileWaiting), and returns when all are done.
    void RunAtOnce(const std::vector<std::function<void()>>& steps, size_t most);
    // Suspend, marked as started for a forced ending that comes meanwhile.
    bool SuspendOnce(const std::string& text, bool wasRunning);
    // A VM the second pass suspended, in the record unless the next start starts it anyway.
    void Record(const std::string& vmPath);
    void Notice(RunKind kind, const RunTally& tally) const;

    SequenceServices s_;
    bool starting_ = false;
    bool startUnderWay_ = false;
    bool suspending_ = false;
    bool exitAsking_ = false;
    bool closing_ = false;
    uint64_t suspensionsBegun_ = 0;
    uint64_t suspensionsAtStart_ = 0;            // suspensionsBegun_ when the running start sequence began
    std::map<size_t, std::string> startedInRun_; // index -> text of each VM this start sequence started
    std::vector<std::string> suspendsStarted_;   // by a forced ending, or the one the pass waits for
    std::function<void()> onSuspensionComplete_;
    std::function<void()> onStartCaughtUp_;
    std::function<void(size_t, size_t)> onSuspendProgress_;
    std::function<void(const std::string&)> onFailureNotice_;
    RunTally startTally_, suspendTally_;
};

} // namespace tarnwick
