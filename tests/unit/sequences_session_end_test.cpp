#include "sequences_fakes.h"

using namespace tarnwick;
using namespace tarnwick::sequences_test;

namespace {

const std::string VmA = "D:\\VMs\\A\\A.vmx";
const std::string VmB = "D:\\VMs\\B\\B.vmx";
const std::string VmC = "D:\\VMs\\C\\C.vmx"; // runs, and is not listed

const Trace SuspensionOfA = {"status:Suspending cataloged VMs in reverse specified order...",
                             "status:  Suspending VM: " + VmA,
                             "exec:suspend " + VmA,
                             "status:Suspending any other running VMs...",
                             "list-running",
                             "status:"};

Trace Join(std::initializer_list<Trace> parts) {
    Trace all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

size_t CountOf(const Trace& trace, const std::string& line) {
    return static_cast<size_t>(std::count(trace.begin(), trace.end(), line));
}

struct KindCase {
    uint32_t lParam;
    const char* kind;
    uint32_t exitKind;
};
const KindCase Kinds[] = {
    {0, "Shutdown", 1}, {0x80000000, "Logoff", 0}, {0x80000001, "Shutdown", 1}, {0x40000000, "Shutdown", 1}};

TEST(SessionEnd, WithoutALaunchEveryKindIsOkayedAtOnce) {
    // One run for every kind, so that each message's kind replaces the one before.
    Rig r;
    for (const auto& k : Kinds) {
        const size_t from = r.w.trace.size();
        EXPECT_TRUE(r.session.QueryEndSession(k.lParam));
        r.session.EndSession(true, k.lParam);
        EXPECT_EQ(r.From(from),
                  (Trace{std::string("log:Okaying Windows ") + k.kind + " request.",
                         std::string("log:Windows ") + k.kind + " occuring; Session Terminating..."}))
            << k.lParam;
        EXPECT_EQ(r.session.ExitKind(), k.exitKind) << k.lParam;
    }
}

TEST(SessionEnd, TheWholeCourseAfterAStartRun) {
    for (const auto& k : Kinds) {
        if (k.lParam & EndSessionCritical) continue; // cannot be refused: see the forced endings below
        Rig r;
        const std::string kind = k.kind;
        r.w.entries = {{VmA}};
        r.seq.StartAll();
        const size_t from = r.w.trace.size();
        EXPECT_FALSE(r.session.QueryEndSession(k.lParam));
        r.session.EndSession(false, k.lParam);
        EXPECT_EQ(r.session.ExitKind(), k.exitKind);
        EXPECT_TRUE(r.gate.Allowed());
        EXPECT_TRUE(r.session.QueryEndSession(k.lParam));
        r.session.EndSession(true, k.lParam);
        EXPECT_EQ(r.From(from),
                  Join({{"log:Denying Windows " + kind + " request so we can suspend VMs.",
                         "log:Windows " + kind + " aborted."},
                        SuspensionOfA,
                        {"block:destroy", "log:Suspension complete; ready for shutdown.",
                         "log:Re-initiating Windows " + kind + ".", "privilege:SeShutdownPrivilege+",
                         "exitwindows:" + std::to_string(k.exitKind), "log:  (request accepted)",
                         "log:Okaying Windows " + kind + " request.",
                         "log:Windows " + kind + " occuring; Session Terminating..."}}))
            << kind;
    }
}

// What follows our refusal of a logoff. Windows 10 and 11 send no abort until the user chooses Cancel, so
// the moment after the refusal suspends; XP and Wine abort at once, leaving that moment nothing to do.
// Endings that cannot be refused suspend what still runs at once, in the handler, and re-issue nothing.
TEST(SessionEnd, WhatFollowsARefusal) {
    using Step = std::function<void(Rig&)>;
    const Step moment = [](Rig& r) { r.session.RefusalStood(); };
    const Step abort = [](Rig& r) { r.session.EndSession(false, EndSessionLogoff); };
    const Step anyway = [](Rig& r) {
        r.w.running = {VmA, VmB, VmC};
        r.session.EndSession(true, EndSessionLogoff);
    };
    const auto during = [](Step step) {
        return [step](Rig& r) {
            r.w.during["exec:suspend " + VmB] = [&r, step] { step(r); };
            r.session.RefusalStood();
        };
    };
    const Step critical = [](Rig& r) {
        r.w.running = {VmA, VmB, VmC};
        EXPECT_TRUE(r.session.QueryEndSession(EndSessionCritical | EndSessionLogoff));
    };
    // Even a forced ending leaves running what the user chose to leave running.
    const Step leaveB = [](Rig& r) { r.w.entries[2].action = StopAction::Leave; };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        size_t held, progress, aborts, reissues;
        std::string forced; // the one run of them all at once, if any
    };
    const std::string all = "together:20|" + VmA + "|" + VmB + "|" + VmC;
    const Case cases[] = {
        {"no abort", {moment}, 1, 4, 0, 1, ""},
        {"abort first", {abort, moment}, 0, 0, 1, 1, ""},
        {"Cancel after it", {moment, abort}, 1, 4, 1, 1, ""},
        {"Cancel during it", {during(abort)}, 1, 1, 1, 1, ""},
        {"Shut down anyway", {anyway, moment}, 0, 0, 0, 0, all},
        {"Shut down anyway during it", {during(anyway)}, 1, 1, 0, 0, "together:20|" + VmA + "|" + VmC},
        {"critical query", {critical, anyway, moment}, 0, 0, 0, 0, all},
        {"critical, B left running",
         {leaveB, critical, anyway},
         0,
         0,
         0,
         0,
         "together:20|" + VmA + "|" + VmC},
    };
    for (const Case& c : cases) {
        Rig r;
        r.w.entries = {{VmA}, {"DELAY:5"}, {VmB}};
        r.seq.StartAll();
        const size_t from = r.w.trace.size();
        EXPECT_FALSE(r.session.QueryEndSession(EndSessionLogoff));
        for (const Step& step : c.steps)
            step(r);
        const Trace t = r.From(from);
        const auto starting = [&](const std::string& prefix) {
            return static_cast<size_t>(std::count_if(
                t.begin(), t.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
        };
        EXPECT_EQ(CountOf(t, "log:Windows Logoff held: suspending VMs without waiting for Cancel."), c.held)
            << c.name;
        EXPECT_EQ(starting("log:Suspending virtual machines ("), c.progress) << c.name;
        EXPECT_EQ(starting("block:create:Suspending virtual machines ("), c.progress) << c.name;
        EXPECT_EQ(CountOf(t, "log:Windows Logoff aborted."), c.aborts) << c.name;
        EXPECT_EQ(CountOf(t, "exitwindows:0"), c.reissues) << c.name;
        EXPECT_EQ(starting("together:"), c.forced.empty() ? 0u : 1u) << c.name;
        if (c.forced.empty()) {
            EXPECT_FALSE(r.session.Handling()) << c.name; // the user's boxes are boxes again
            continue;
        }
        EXPECT_EQ(CountOf(t, c.forced), 1u) << c.name;
        EXPECT_EQ(starting("log:  Suspended: "), std::count(c.forced.begin(), c.forced.end(), '|')) << c.name;
        r.seq.StartAll(); // the session ends: nothing is started again
        EXPECT_EQ(r.w.trace.back(), "log:Start sequence not run: Tarnwick is closing.") << c.name;
    }
}

TEST(SessionEnd, PrivilegeAndReissueFailuresAreLoggedAndTheNextRequestIsOkayed) {
    Rig r;
    r.w.entries = {{VmA}};
    r.w.privilegeOk = false;
    r.w.exitWindowsOk = false;
    r.seq.StartAll();
    r.session.QueryEndSession(EndSessionLogoff);
    r.session.EndSession(false, EndSessionLogoff);
    const auto at = std::find(r.w.trace.begin(), r.w.trace.end(), "privilege:SeShutdownPrivilege+");
    ASSERT_NE(at, r.w.trace.end());
    EXPECT_EQ(Trace(at + 1, r.w.trace.end()),
              (Trace{"log:  (failed to acquire needed privilege, but going to try anyway...)",
                     "exitwindows:0", "log:  (request denied)"}));
    const size_t from = r.w.trace.size();
    EXPECT_TRUE(r.session.QueryEndSession(EndSessionLogoff));
    EXPECT_EQ(r.From(from), (Trace{"log:Okaying Windows Logoff request."}));
}

TEST(SessionEnd, AnotherProgramRefusingEveryRequestGetsOneSuspensionAndOneReissue) {
    Rig r;
    r.w.entries = {{VmA}};
    r.seq.StartAll();
    r.session.QueryEndSession(0);
    r.session.EndSession(false, 0);
    for (int round = 0; round < 5; ++round) { // our re-issue, okayed by us and refused by the other program
        EXPECT_TRUE(r.session.QueryEndSession(0));
        r.session.EndSession(false, 0);
    }
    EXPECT_EQ(CountOf(r.w.trace, "exec:suspend " + VmA), 1u);
    EXPECT_EQ(CountOf(r.w.trace, "exitwindows:1"), 1u);
    EXPECT_EQ(CountOf(r.w.trace, "log:  (not refused by Tarnwick: nothing suspended, nothing re-initiated)"),
              5u);
}

TEST(SessionEnd, AnAbortWeDidNotCauseNeitherSuspendsNorReissues) {
    Rig r;
    r.w.entries = {{VmA}};
    r.seq.StartAll();
    const size_t from = r.w.trace.size();
    r.session.EndSession(false, EndSessionLogoff); // cancelled before Windows reached us
    EXPECT_EQ(r.From(from),
              (Trace{"log:Windows Logoff aborted.",
                     "log:  (not refused by Tarnwick: nothing suspended, nothing re-initiated)"}));
    EXPECT_FALSE(r.gate.Allowed());
}

TEST(SessionEnd, ARequestDuringOurSuspensionIsRefusedAndTheOneReissueCoversIt) {
    Rig r;
    r.w.entries = {{VmA}};
    r.seq.StartAll();
    r.w.during["exec:suspend " + VmA] = [&] {
        EXPECT_FALSE(r.session.QueryEndSession(EndSessionLogoff));
        r.session.EndSession(false, EndSessionLogoff);
    };
    r.session.QueryEndSession(EndSessionLogoff);
    r.session.EndSession(false, EndSessionLogoff);
    const auto at = std::find(r.w.trace.begin(), r.w.trace.end(), "exec:suspend " + VmA);
    ASSERT_NE(at, r.w.trace.end());
    EXPECT_EQ(
        Trace(at + 1, at + 4),
        (Trace{"log:Denying Windows Logoff request so we can suspend VMs.", "log:Windows Logoff aborted.",
               "log:  (a suspension is running; Windows Logoff will be re-initiated when it is complete)"}));
    EXPECT_EQ(CountOf(r.w.trace, "exitwindows:0"), 1u);
    EXPECT_EQ(CountOf(r.w.trace, "list-running"), 1u);
}

TEST(SessionEnd, AnAbortOfARequestRefusedDuringOurSuspensionArrivingLateIsNotReissuedTwice) {
    Rig r;
    r.w.entries = {{VmA}};
    r.seq.StartAll();
    r.w.during["exec:suspend " + VmA] = [&] { r.session.QueryEndSession(EndSessionLogoff); };
    r.session.QueryEndSession(EndSessionLogoff);
    r.session.EndSession(false, EndSessionLogoff);
    const size_t from = r.w.trace.size();
    r.session.EndSession(false, EndSessionLogoff);
    EXPECT_EQ(r.From(from),
              (Trace{"log:Windows Logoff aborted.", "log:  (Windows Logoff was already re-initiated)"}));
    EXPECT_EQ(CountOf(r.w.trace, "exitwindows:0"), 1u);
}

TEST(SessionEnd, ALogoffDuringExitsSuspensionIsHeldAndReissuedWhenItCompletes) {
    Rig r;
    r.w.entries = {{VmA}};
    r.w.answers = {true};
    r.w.during["exec:suspend " + VmA] = [&] {
        r.session.QueryEndSession(EndSessionLogoff);
        r.session.EndSession(false, EndSessionLogoff);
    };
    r.seq.ExitWithSuspendOffer();
    EXPECT_EQ(
        r.w.trace,
        Join({{"ask:Do you want to suspend all your VMs before closing?"},
              {SuspensionOfA.begin(), SuspensionOfA.begin() + 3},
              {"log:Denying Windows Logoff request so we can suspend VMs.", "log:Windows Logoff aborted.",
               "log:  (a suspension is running; Windows Logoff will be re-initiated when it is "
               "complete)"},
              {SuspensionOfA.begin() + 3, SuspensionOfA.end()},
              {"log:Suspension complete; ready for shutdown.", "log:Re-initiating Windows Logoff.",
               "privilege:SeShutdownPrivilege+", "exitwindows:0", "log:  (request accepted)",
               "log:Tarnwick being closed by user...", "quit"}}));
}

TEST(SessionEnd, AnAbortArrivingAfterThatSuspensionCompletedReissuesWithoutSuspendingAgain) {
    Rig r;
    r.w.entries = {{VmA}};
    r.w.answers = {true};
    r.w.during["exec:suspend " + VmA] = [&] { r.session.QueryEndSession(0); };
    r.seq.ExitWithSuspendOffer();
    const size_t from = r.w.trace.size();
    r.session.EndSession(false, 0);
    EXPECT_EQ(r.From(from),
              (Trace{"log:Windows Shutdown aborted.",
                     "log:  (the VMs were suspended meanwhile; not suspending again)",
                     "log:Suspension complete; ready for shutdown.", "log:Re-initiating Windows Shutdown.",
                     "privilege:SeShutdownPrivilege+", "exitwindows:1", "log:  (request accepted)"}));
}

TEST(SessionEnd, ALogoffDuringAStartRunStartsNothingAfterTheSuspensionBegan) {
    Rig r;
    r.w.entries = {{VmA}, {VmB}};
    r.w.during["exec:start " + VmA] = [&] {
        r.session.QueryEndSession(EndSessionLogoff);
        r.session.EndSession(false, EndSessionLogoff);
    };
    r.seq.StartAll();
    EXPECT_EQ(CountOf(r.w.trace, "exec:start " + VmB), 0u);
    const Trace tail(r.w.trace.end() - 10, r.w.trace.end());
    EXPECT_EQ(tail,
              (Trace{"log:VM started while a suspension ran; suspending it now: " + VmA,
                     "status:  Suspending VM: " + VmA, "exec:suspend " + VmA, "block:destroy",
                     "log:Suspension complete; ready for shutdown.", "log:Re-initiating Windows Logoff.",
                     "privilege:SeShutdownPrivilege+", "exitwindows:0", "log:  (request accepted)",
                     "log:Start sequence stopped: a suspension has begun; nothing more is started."}));

    // What the start brought up is dealt with by its stop action, as the suspension would have.
    for (const StopAction action : {StopAction::Leave, StopAction::ShutDown}) {
        Rig s;
        s.w.entries = {{VmA, true, action}};
        s.w.during["exec:start " + VmA] = [&] {
            s.session.QueryEndSession(EndSessionLogoff);
            s.session.EndSession(false, EndSessionLogoff);
        };
        s.seq.StartAll();
        EXPECT_EQ(CountOf(s.w.trace, "exec:suspend " + VmA), 0u);
        EXPECT_EQ(CountOf(s.w.trace, "exec:stop " + VmA), action == StopAction::ShutDown ? 2u : 0u);
        EXPECT_EQ(CountOf(s.w.trace, "exitwindows:0"), 1u);
    }
}

// The start of a VM from the list or the launch button, and the opening of a Team, each with a logoff
// arriving while it is under way.
TEST(SessionEnd, AStartUnderWayHoldsTheSessionUntilWhatItStartedIsSuspended) {
    const std::string team = "D:\\VMs\\Office.vmtm";
    struct Case {
        std::string entry, startLine, what;
        bool launchButton;
    };
    const Case cases[] = {
        {VmA, "exec:start " + VmA, "VM", false},
        {VmA, "exec:start " + VmA, "VM", true},
        {team, "run:vmware -x -q \"" + team + "\"|C:\\Program Files\\VMware\\|nowait", "Team", false}};
    for (const Case& c : cases) {
        Rig r;
        r.w.entries = {{c.entry}};
        r.w.selected = 0;
        size_t held = 0;
        r.w.during[c.startLine] = [&] {
            EXPECT_FALSE(r.session.QueryEndSession(EndSessionLogoff));
            r.session.EndSession(false, EndSessionLogoff);
            // The suspension is over, but the start has not returned: every request is still refused.
            EXPECT_FALSE(r.session.QueryEndSession(0));
            r.session.EndSession(false, 0);
            EXPECT_FALSE(r.gate.Allowed());
            held = r.w.trace.size();
            // A request while what the start brought up is being suspended is refused as well.
            r.w.during["exec:suspend " + c.entry] = [&] {
                EXPECT_FALSE(r.session.QueryEndSession(EndSessionLogoff));
                r.session.EndSession(false, EndSessionLogoff);
            };
        };
        if (c.launchButton)
            r.seq.LaunchSelected();
        else
            r.seq.StartAll();
        ASSERT_NE(held, 0u) << c.entry;
        const std::string late =
            "log:  (a start is under way; Windows Shutdown will be re-initiated when what it "
            "started is suspended)";
        EXPECT_EQ(CountOf(r.w.trace, "log:Suspension complete; waiting for the start under way to return."),
                  1u);
        EXPECT_EQ(Trace(r.w.trace.begin() + static_cast<long>(held) - 3,
                        r.w.trace.begin() + static_cast<long>(held)),
                  (Trace{"log:Denying Windows Shutdown request so we can suspend VMs.",
                         "log:Windows Shutdown aborted.", late}));
        const Trace after = r.From(held);
        ASSERT_GE(after.size(), 12u) << c.entry;
        EXPECT_EQ(
            Trace(after.begin(), after.begin() + 12),
            (Trace{"log:" + c.what + " started while a suspension ran; suspending it now: " + c.entry,
                   "status:  Suspending " + c.what + ": " + c.entry, "exec:suspend " + c.entry,
                   "log:Denying Windows Logoff request so we can suspend VMs.", "log:Windows Logoff aborted.",
                   "log:  (a start is under way; Windows Logoff will be re-initiated when what it started "
                   "is suspended)",
                   "block:destroy", "log:Suspension complete; ready for shutdown.",
                   "log:Re-initiating Windows Logoff.", "privilege:SeShutdownPrivilege+", "exitwindows:0",
                   "log:  (request accepted)"}))
            << c.entry;
        EXPECT_EQ(CountOf(r.w.trace, "exitwindows:0"), 1u);
        EXPECT_TRUE(r.session.QueryEndSession(EndSessionLogoff));
    }
}

// A launch during which a logoff came, and whose log fails just as its start returns: what it brought up
// is suspended all the same, and the session is let go. The shell holds the launch's log failures.
TEST(SessionEnd, ALaunchWhoseLogFailsAsItsStartReturnsStillSuspendsAndLetsTheSessionGo) {
    for (const bool held : {true, false}) {
        Rig r;
        r.w.entries = {{VmA}};
        r.w.selected = 0;
        r.w.during["exec:start " + VmA] = [&r] {
            r.session.QueryEndSession(EndSessionLogoff);
            r.session.EndSession(false, EndSessionLogoff);
            r.w.logFails = true;
        };
        std::optional<HeldLog::Hold> hold;
        if (held) hold.emplace(r.log);
        if (held)
            r.seq.LaunchSelected();
        else
            EXPECT_THROW(r.seq.LaunchSelected(), IoError);
        hold.reset();
        r.w.logFails = false;
        EXPECT_EQ(CountOf(r.w.trace, "exec:suspend " + VmA), 2u) << held;
        EXPECT_EQ(CountOf(r.w.trace, "exitwindows:0"), 1u) << held;
        EXPECT_TRUE(r.session.QueryEndSession(EndSessionLogoff)) << held;
        EXPECT_EQ(r.log.TakeFailure(), "The log cannot be written.") << held;
    }
}

TEST(SessionEnd, ReissuesAreBoundedInARun) {
    Rig r;
    r.w.entries = {{VmA}};
    r.w.selected = 0;
    for (int round = 0; round < SessionEnd::MaxReissues + 1; ++round) {
        r.seq.LaunchSelected();
        r.session.QueryEndSession(EndSessionLogoff);
        r.session.EndSession(false, EndSessionLogoff);
    }
    EXPECT_EQ(CountOf(r.w.trace, "exitwindows:0"), static_cast<size_t>(SessionEnd::MaxReissues));
    EXPECT_EQ(r.w.trace.back(),
              "log:Not re-initiating Windows Logoff: already re-initiated 3 times in this run.");
}

TEST(SessionEnd, ABlockReasonIsKeptExactlyWhileTheSessionIsHeld) {
    for (const bool supported : {true, false}) {
        Rig r;
        r.w.blockReasonsSupported = supported;
        r.w.entries = {{VmA}};
        r.w.selected = 0;
        r.seq.LaunchSelected();
        r.seq.LaunchSelected();
        r.session.QueryEndSession(0);
        r.session.EndSession(false, 0);
        r.seq.LaunchSelected();
        // A system without block reasons is asked again at each hold, which costs nothing.
        EXPECT_EQ(CountOf(r.w.trace, BlockCreated), supported ? 2u : 3u);
        EXPECT_EQ(CountOf(r.w.trace, "block:destroy"), supported ? 1u : 0u);
    }
}

TEST(SessionEnd, AnAbandonedSuspensionLeavesNoReissueOwedToALaterOne) {
    Rig r;
    r.w.entries = {{VmA}};
    r.seq.StartAll();
    r.w.during["exec:suspend " + VmA] = [] { throw IoError("capture unreadable"); };
    r.session.QueryEndSession(0);
    // Abandoned, but not out of the handler, where the shell would show it in a box.
    EXPECT_NO_THROW(r.session.EndSession(false, 0));
    EXPECT_EQ(r.log.TakeFailure(), "capture unreadable");
    r.w.answers = {true};
    r.seq.ExitWithSuspendOffer(); // completes a suspension: still no ExitWindowsEx
    EXPECT_EQ(CountOf(r.w.trace, "exitwindows:1"), 0u);
    EXPECT_EQ(r.w.trace.back(), "quit");
}

// An unwritable log: Windows gets the same answers at once, the VMs are suspended all the same, and
// the failure waits, once, until the round is over.
TEST(SessionEnd, AnUnwritableLogChangesNoAnswerAndWaitsUntilTheRoundIsOver) {
    Rig r;
    r.w.logFails = true;
    EXPECT_TRUE(r.session.QueryEndSession(EndSessionLogoff));
    EXPECT_TRUE(r.session.MayBeEnding());
    r.session.EndSession(false, EndSessionLogoff); // another program refused
    EXPECT_FALSE(r.session.MayBeEnding());
    EXPECT_EQ(r.log.TakeFailure(), "The log cannot be written.");
    EXPECT_EQ(r.log.TakeFailure(), std::nullopt);

    r.w.logFails = false;
    r.w.entries = {{VmA}, {VmB}};
    r.seq.StartAll();
    r.w.logFails = true;
    r.w.during["exec:suspend " + VmB] = [&] {
        // Only after the round: a nested wait may not show it.
        EXPECT_EQ(r.log.TakeFailure(), std::nullopt);
    };
    EXPECT_FALSE(r.session.QueryEndSession(0));
    EXPECT_NO_THROW(r.session.EndSession(false, 0));
    EXPECT_EQ(CountOf(r.w.trace, "exec:suspend " + VmA), 1u);
    EXPECT_EQ(CountOf(r.w.trace, "exitwindows:1"), 1u);
    EXPECT_TRUE(r.session.QueryEndSession(0));
    r.session.EndSession(true, 0);
    EXPECT_TRUE(r.session.MayBeEnding());
    EXPECT_EQ(r.log.TakeFailure(), "The log cannot be written.");
}

} // namespace
