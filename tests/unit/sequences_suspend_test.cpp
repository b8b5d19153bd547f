#include "sequences_fakes.h"

using namespace tarnwick;
using namespace tarnwick::sequences_test;

namespace {

const std::string VmA = "D:\\VMs\\A\\A.vmx";
const std::string VmB = "D:\\VMs\\B\\B.vmx";
const std::string VmZ = "E:\\Other\\Z.vmx";

TEST(SuspendAll, ListBottomUpWithItsOwnKindOrderThenEveryRunningVm) {
    Rig r;
    r.w.entries = {{VmA},     {"DELAY:30"}, {"WAIT:60"},     {"PROMPT:"}, {"C:\\T\\x.vmtm"},
                   {"abc"},   {VmB, false}, {"SKIP:" + VmA}, {"DELAY:x"}, {"DELAY:$FFFFFFFF"},
                   {"WAIT:x"}};
    r.w.running = {VmB, VmZ};
    EXPECT_TRUE(r.seq.SuspendAll());
    EXPECT_EQ(r.w.trace,
              (Trace{
                  "status:Suspending cataloged VMs in reverse specified order...",
                  // A wait is passed over with a line of its own, whatever its seconds; no tools asked.
                  "status:Skipping startup wait for a VM to be ready...",
                  "log:Skipping invalid delay: \"DELAY:$FFFFFFFF\" (the seconds must be a whole number "
                  "of at least 1)",
                  "log:Skipping invalid delay: \"DELAY:x\" (the seconds must be a whole number of at "
                  "least 1)",
                  // The marker is no kind of its own here: the tool is handed the marked text.
                  "status:  Suspending VM: SKIP:" + VmA,
                  "exec:suspend SKIP:" + VmA,
                  "log:Skipping Illegal VM name: \"abc\"",
                  "status:  Suspending Team: C:\\T\\x.vmtm",
                  "exec:suspend C:\\T\\x.vmtm",
                  "status:Skipping startup user prompt...",
                  "status:Skipping startup wait for a VM to be ready...",
                  "status:Sleeping for 30/10 seconds...",
                  "sleep:3000",
                  "status:  Suspending VM: " + VmA,
                  "exec:suspend " + VmA,
                  "status:Suspending any other running VMs...",
                  "list-running",
                  "status:  Suspending VM: " + VmB,
                  "exec:suspend " + VmB,
                  "status:  Suspending VM: " + VmZ,
                  "exec:suspend " + VmZ,
                  "status:",
              }));
}

TEST(SuspendAll, EachVmByItsStopActionWithTheShutdownFallingBackToASuspension) {
    const std::string B = "D:\\B.vmx", C = "D:\\C.vmx", D = "D:\\D.vmx", E = "D:\\E.vmx", F = "D:\\F.vmx",
                      T = "D:\\T.vmtm";
    using enum StopAction;
    Rig r;
    r.w.options.toolTimeout = "2";
    r.w.entries = {{VmA},
                   {B, true, ShutDown},
                   {C, true, ShutDown},
                   {D, true, Leave},
                   {E, true, ShutDown},
                   {T, true, Leave},
                   {F, false, Leave}};
    r.w.running = {B, D, E, F, VmZ};
    r.w.shutdownMs = {{E, 10000}}; // E's guest takes longer than the limit; C's tools refuse
    r.w.failingVerbs = {"stop " + C};
    EXPECT_TRUE(r.seq.SuspendAll());
    const std::string suspending = "status:  Suspending VM: ", shutting = "status:  Shutting down VM: ";
    EXPECT_EQ(r.w.trace,
              (Trace{"status:Suspending cataloged VMs in reverse specified order...",
                     "status:  Suspending Team: " + T, "exec:suspend " + T, // a Team always suspends
                     shutting + E, "exec:stop " + E, "list-running", "sleep:1000", "list-running",
                     "sleep:1000", "log:    not off after 2 seconds; suspending instead.",
                     "exec:suspend " + E, "status:  Leaving VM running: " + D, shutting + C, "exec:stop " + C,
                     "log:    not off after 0 seconds; suspending instead.", "exec:suspend " + C,
                     shutting + B, "exec:stop " + B, "list-running", suspending + VmA, "exec:suspend " + VmA,
                     "status:Suspending any other running VMs...", "list-running",
                     // D was left running on purpose; E only suspended, as its shutdown was tried.
                     suspending + E, "exec:suspend " + E,
                     "status:  Leaving VM running: " + F, // unchecked, but its action holds
                     suspending + VmZ, "exec:suspend " + VmZ, "status:"}));
    EXPECT_EQ(r.w.files.at(Rig::ResumePath), VmZ + "\r\n") << "D and F are left running, not recorded";

    // A shutdown that fell back is done when its suspension is (C); only E, found running, fails.
    r.w.failingVerbs = {"stop " + C, "suspend " + E};
    r.w.offAt.clear();
    r.seq.SuspendAll();
    EXPECT_EQ(r.w.trace.back(), "notice:1 of 6 VMs could not be suspended. Click to see the log.");
}

// ParallelSuspend: up to N tool runs at once, and a delay or wait entry is a barrier that no run above
// it passes before every run below it has ended. The others running are suspended N at a time.
TEST(SuspendAll, ParallelSuspendRunsUpToNAtOnceAndDelaysAndWaitsAreBarriers) {
    const auto vm = [](int n) { return "D:\\VMs\\V" + std::to_string(n) + ".vmx"; };
    struct Case {
        const char* parallel; // as the file holds it; nullptr: no key
        std::vector<Entry> entries;
        std::vector<std::string> running;
        size_t most;
        std::vector<std::vector<std::string>> groups; // bottom-up; each ends before the next starts
    };
    const Case cases[] = {
        {nullptr, {{vm(1)}, {vm(2)}}, {}, 1, {{vm(2)}, {vm(1)}}},
        {"x", {{vm(1)}, {vm(2)}}, {}, 1, {{vm(2)}, {vm(1)}}},
        {"3",
         {{vm(1)}, {vm(2)}, {vm(3)}, {"DELAY:20"}, {vm(4)}, {vm(5)}, {vm(6)}},
         {},
         3,
         {{vm(6), vm(5), vm(4)}, {vm(3), vm(2), vm(1)}}},
        {"2", {{vm(1)}, {"WAIT:9"}, {vm(2)}, {vm(3)}, {vm(4)}}, {}, 2, {{vm(4), vm(3), vm(2)}, {vm(1)}}},
        {"4", {{vm(1)}}, {vm(7), vm(8), vm(9)}, 3, {{vm(1)}, {vm(7), vm(8), vm(9)}}},
    };
    for (const Case& c : cases) {
        Rig r;
        if (c.parallel) r.w.options.parallelSuspend = c.parallel;
        r.w.entries = c.entries;
        r.w.running = c.running;
        EXPECT_TRUE(r.seq.SuspendAll());
        EXPECT_EQ(r.w.maxRunsAtOnce, c.most) << c.parallel;
        // The runs of each group, started and ended, before any run of the next one.
        size_t at = 0;
        for (const auto& group : c.groups) {
            std::set<std::string> want, seen;
            for (const auto& v : group)
                want.insert(v);
            for (size_t k = 0; k < 2 * group.size() && at < r.w.runs.size(); ++k, ++at)
                seen.insert(r.w.runs[at].substr(r.w.runs[at].find(' ') + 1));
            EXPECT_EQ(seen, want) << c.parallel;
        }
        EXPECT_EQ(at, r.w.runs.size()) << c.parallel;
    }
}

TEST(SuspendAll, OnlyVmsThatStayedRunningCountAsFailuresInItsNotice) {
    Rig r;
    // A is off, so its suspension fails harmlessly; B runs and cannot be suspended in either pass.
    r.w.entries = {{VmA}, {VmB}};
    r.w.running = {VmB, VmZ};
    r.w.failingVerbs = {"suspend " + VmA, "suspend " + VmB};
    EXPECT_TRUE(r.seq.SuspendAll());
    EXPECT_EQ(r.From(r.w.trace.size() - 2),
              (Trace{"status:", "notice:1 of 2 VMs could not be suspended. Click to see the log."}));

    r.w.failingVerbs = {"suspend " + VmA};
    EXPECT_TRUE(r.seq.SuspendAll());
    EXPECT_EQ(r.w.trace.back(), "status:") << "a VM that was off is no failure";
}

TEST(SuspendAll, ASecondOneAskedForMeanwhileIsNotStarted) {
    Rig r;
    r.w.entries = {{VmA}, {VmB}};
    bool nested = true;
    r.w.during["exec:suspend " + VmB] = [&] { nested = r.seq.SuspendAll(); };
    EXPECT_TRUE(r.seq.SuspendAll());
    EXPECT_FALSE(nested);
    EXPECT_EQ(r.w.trace[3], "log:Suspension already running; not starting another.");
    EXPECT_EQ(r.w.trace[4], "status:  Suspending VM: " + VmA);
    EXPECT_EQ(std::count(r.w.trace.begin(), r.w.trace.end(), "list-running"), 1);
}

TEST(SuspendAll, EntriesRemovedMeanwhileAreNotReadPastTheEnd) {
    Rig r;
    r.w.entries = {{VmA}, {"PROMPT:"}, {VmB}};
    r.w.during["exec:suspend " + VmB] = [&] { r.w.entries.resize(1); };
    r.seq.SuspendAll();
    EXPECT_EQ(r.w.trace[3], "status:  Suspending VM: " + VmA);
}

TEST(Exit, AnswerDecidesTheSuspensionAndTheProgramClosesEitherWay) {
    for (const bool yes : {true, false}) {
        Rig r;
        r.w.entries = {{VmA}};
        r.w.answers = {yes};
        r.seq.ExitWithSuspendOffer();
        Trace expected = {"ask:Do you want to suspend all your VMs before closing?"};
        if (yes)
            expected.insert(expected.end(),
                            {"status:Suspending cataloged VMs in reverse specified order...",
                             "status:  Suspending VM: " + VmA, "exec:suspend " + VmA,
                             "status:Suspending any other running VMs...", "list-running", "status:"});
        expected.insert(expected.end(), {"log:Tarnwick being closed by user...", "quit"});
        EXPECT_EQ(r.w.trace, expected) << yes;
    }
}

TEST(Exit, WhileASuspensionRunsItIsPutOffAndWhileItsQuestionIsOpenIgnored) {
    Rig r;
    r.w.running = {VmZ};
    r.w.during["exec:suspend " + VmZ] = [&] { r.seq.ExitWithSuspendOffer(); };
    r.seq.SuspendAll();
    EXPECT_EQ(r.w.trace[5], "log:Exit put off: a suspension is running; choose Exit again when it is done.");
    EXPECT_EQ(r.w.trace[6], "beep");
    EXPECT_EQ(std::count(r.w.trace.begin(), r.w.trace.end(), "quit"), 0);

    Rig q;
    q.w.answers = {false};
    q.w.during["ask:Do you want to suspend all your VMs before closing?"] = [&] {
        q.seq.ExitWithSuspendOffer();
    };
    q.seq.ExitWithSuspendOffer();
    EXPECT_EQ(q.w.trace, (Trace{"ask:Do you want to suspend all your VMs before closing?",
                                "log:Exit ignored: its question is already open.",
                                "log:Tarnwick being closed by user...", "quit"}));
}

} // namespace
