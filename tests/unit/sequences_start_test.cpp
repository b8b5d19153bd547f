#include "sequences_fakes.h"

using namespace tarnwick;
using namespace tarnwick::sequences_test;

namespace {

const std::string VmA = "D:\\VMs\\A\\A.vmx";
const std::string VmB = "D:\\VMs\\B\\B.vmx";
const std::string VmC = "D:\\VMs\\C\\C.vmx";

TEST(StartAll, EmptyOrAllDisabledGivesTheTwoHeadlinesAndHoldsTheSession) {
    for (const auto& entries : {std::vector<Entry>{}, std::vector<Entry>{{VmA, false}, {"DELAY:5", false}}}) {
        Rig r;
        r.w.entries = entries;
        r.seq.StartAll();
        EXPECT_EQ(r.w.trace, (Trace{BlockCreated, "status:Starting VMs...", "status:VMs Started: " + Now}));
        EXPECT_FALSE(r.gate.Allowed());
    }
}

TEST(StartAll, CarriesOutEachKindInListOrder) {
    Rig r;
    r.w.entries = {{VmA}, {"ab"}, {"C:\\Teams\\T.VMTM"}, {"DELAY:5"}, {VmB, false}, {"DELAY: 2"}, {VmC}};
    r.w.commandResults["vmware -x -q \"C:\\Teams\\T.VMTM\""] = {false, 0};
    r.seq.StartAll();
    EXPECT_EQ(r.From(1), (Trace{
                             "status:Starting VMs...",
                             "status:Starting VM: " + VmA,
                             "exec:start " + VmA,
                             "log:Skipping Illegal VM name: \"ab\"",
                             "status:Opening Team: C:\\Teams\\T.VMTM",
                             "run:vmware -x -q \"C:\\Teams\\T.VMTM\"|C:\\Program Files\\VMware\\|nowait",
                             "log:Error launching \"C:\\Teams\\T.VMTM\". Exit code: 0",
                             "status:Sleeping for 5 seconds...",
                             "sleep:5000",
                             "status:Sleeping for  2 seconds...",
                             "sleep:2000",
                             "status:Starting VM: " + VmC,
                             "exec:start " + VmC,
                             "status:VMs Started: " + Now,
                             "notice:1 of 3 VMs could not be started. Click to see the log.",
                         }));
}

TEST(StartAll, FailuresAndPassedLimitsGiveOneNoticeAtTheEndOfTheRun) {
    const std::string VmD = "D:\\VMs\\D\\D.vmx", VmE = "D:\\VMs\\E\\E.vmx";
    Rig r;
    r.w.entries = {{VmA}, {VmB}, {"DELAY:1"}, {VmC}, {VmD}, {VmE, false}, {"C:\\Teams\\T.vmtm"}};
    r.w.failingVerbs = {"start " + VmB, "start " + VmD};
    r.w.during["exec:start " + VmC] = [&r] { r.seq.LimitPassed(); };
    r.seq.StartAll();
    const Trace tail = r.From(r.w.trace.size() - 2);
    EXPECT_EQ(tail,
              (Trace{"status:VMs Started: " + Now, "notice:2 of 5 VMs could not be started. 1 VMware "
                                                   "tool did not finish in time. Click to see the log."}));
    EXPECT_EQ(
        std::count_if(r.w.trace.begin(), r.w.trace.end(), [](auto& l) { return l.starts_with("notice:"); }),
        1);

    // The next run counts afresh: the launch button's one failing entry, and then one that succeeds.
    r.w.selected = 1;
    r.seq.LaunchSelected();
    EXPECT_EQ(r.w.trace.back(), "notice:1 of 1 VM could not be started. Click to see the log.");
    r.w.selected = 0;
    const size_t second = r.w.trace.size();
    r.seq.LaunchSelected();
    EXPECT_EQ(r.From(second).back(), "status:");
    // A limit passed while nothing runs is no run's.
    r.seq.LimitPassed();
    r.w.failingVerbs.clear();
    r.seq.StartAll();
    EXPECT_EQ(r.w.trace.back(), "status:VMs Started: " + Now);
}

TEST(StartAll, MalformedDelaysAreLoggedOnceAndNotSlept) {
    for (const std::string rest : {"abc", "0", "-3", "", "5 ", "$100000000", "2147483648"}) {
        Rig r;
        r.w.entries = {{"DELAY:" + rest}};
        r.seq.StartAll();
        EXPECT_EQ(r.From(2), (Trace{"log:Skipping invalid delay: \"DELAY:" + rest +
                                        "\" (the seconds must be a whole number of at least 1)",
                                    "status:VMs Started: " + Now}))
            << rest;
    }
    Rig r;
    r.w.entries = {{"DELAY:$A"}, {"DELAY:2147483647"}};
    r.seq.StartAll();
    EXPECT_EQ(r.w.trace[3], "sleep:10000");
    // 2147483647 s does not fit one Sleep: it is slept in pieces that never mean INFINITE.
    EXPECT_EQ(std::count(r.w.trace.begin(), r.w.trace.end(), "sleep:2147483647"), 1000);
}

struct WaitCase {
    const char* name;
    std::vector<Entry> entries;
    std::function<void(Rig&)> setUp;
    Trace expected; // from after "Starting VMs..." up to, not including, "VMs Started"
    VmwareTools tools = Rig::Vmrun;
};

TEST(StartAll, WaitEntries) {
    const std::string team = "C:\\Teams\\T.vmtm";
    const auto waiting = [](const std::string& limit, const std::string& vm) {
        return "status:Waiting up to " + limit + " seconds for " + vm + " to be ready...";
    };
    const auto instead = [](const std::string& why, const std::string& seconds) {
        return Trace{"log:" + why + "; sleeping instead.", "status:Sleeping for " + seconds + " seconds...",
                     "sleep:" + seconds + "000"};
    };
    const auto notStarted = [&](const std::string& vm) {
        return instead("Cannot wait for " + vm + " to be ready: it was not started in this run", "4");
    };
    const auto join = [](Trace a, const Trace& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Trace startA = {"status:Starting VM: " + VmA, "exec:start " + VmA};
    const Trace startB = {"status:Starting VM: " + VmB, "exec:start " + VmB};
    const std::vector<WaitCase> cases = {
        {"tools up after 3 s: polled every 2 s, and the run goes on at once",
         {{VmA}, {"WAIT:30"}, {VmB}},
         [](Rig& r) { r.w.toolsUpAt[VmA] = 3000; },
         join(join(startA, {waiting("30", VmA), "tools:" + VmA, "sleep:2000", "tools:" + VmA, "sleep:2000",
                            "tools:" + VmA, "log:  ready after 4 seconds."}),
              startB)},
        {"never up: the last poll is at the limit, which need not be a whole number of polls",
         {{VmA}, {"WAIT: 5"}, {VmB}},
         nullptr,
         join(join(startA, {waiting("5", VmA), "tools:" + VmA, "sleep:2000", "tools:" + VmA, "sleep:2000",
                            "tools:" + VmA, "sleep:1000", "tools:" + VmA,
                            "log:  not ready after 5 seconds; going on."}),
              startB)},
        {"the tool's own run time counts against the limit",
         {{VmA}, {"WAIT:4"}},
         [](Rig& r) { r.w.toolsQueryMs = 1500; },
         join(startA, {waiting("4", VmA), "tools:" + VmA, "sleep:2000", "tools:" + VmA, "tools-cut:1",
                       "log:  not ready after 4 seconds; going on."})},
        {"a hung query ends with the wait, not a minute later",
         {{VmA}, {"WAIT:4"}},
         [](Rig& r) { r.w.toolsQueryMs = 60000; },
         join(startA, {waiting("4", VmA), "tools:" + VmA, "tools-cut:4",
                       "log:  not ready after 4 seconds; going on."})},
        {"delays, prompts, waits and illegal entries between are passed over",
         {{VmA}, {VmB}, {"DELAY:1"}, {"abc"}, {"WAIT:$3"}, {"PROMPT:"}, {"WAIT:2"}},
         [](Rig& r) {
             r.w.toolsUpAt[VmB] = 0;
             r.w.answers = {true};
         },
         join(join(startA, startB),
              {"status:Sleeping for 1 seconds...", "sleep:1000", "log:Skipping Illegal VM name: \"abc\"",
               waiting("3", VmB), "tools:" + VmB, "log:  ready after 0 seconds.",
               "status:Awaiting User Response...", "ask:Launch VM: WAIT:2?", waiting("2", VmB),
               "tools:" + VmB, "log:  ready after 0 seconds."})},
        {"the nearest VM is disabled: a delay, even though one above it was started",
         {{VmB}, {VmA, false}, {"WAIT:4"}, {VmC}},
         [](Rig& r) { r.w.toolsUpAt[VmB] = 0; },
         join(join(startB, notStarted(VmA)), {"status:Starting VM: " + VmC, "exec:start " + VmC})},
        {"the nearest VM failed to start",
         {{VmA}, {"WAIT:4"}},
         [](Rig& r) { r.w.failingVerbs = {"start " + VmA}; },
         join(startA, notStarted(VmA))},
        {"the nearest VM was passed over at a prompt",
         {{"PROMPT:"}, {VmA}, {"WAIT:4"}},
         [](Rig& r) { r.w.answers = {false}; },
         join({"status:Awaiting User Response...", "ask:Launch VM: " + VmA + "?", "replace:1:SKIP:" + VmA,
               "status:Skipped VM: SKIP:" + VmA, "replace:1:" + VmA},
              notStarted(VmA))},
        {"a disabled VM still marked from an earlier run",
         {{"SKIP:" + VmA, false}, {"WAIT:4"}},
         nullptr,
         notStarted("SKIP:" + VmA)},
        {"a Team above",
         {{VmA}, {team}, {"WAIT:4"}},
         nullptr,
         join(join(startA, {"status:Opening Team: " + team,
                            "run:vmware -x -q \"" + team + "\"|C:\\Program Files\\VMware\\|nowait"}),
              instead("Cannot wait for " + team +
                          " to be ready: it is a Team, whose VMs' tools cannot be asked",
                      "4"))},
        {"no VM above",
         {{"DELAY:1", false}, {"WAIT:4"}},
         nullptr,
         instead("No VM above \"WAIT:4\" to wait for", "4")},
        {"vmware-cmd cannot ask",
         {{VmA}, {"WAIT:4"}},
         nullptr,
         join(startA,
              instead("Cannot wait for " + VmA + " to be ready: vmware-cmd cannot ask a VM's tools", "4")),
         VmwareTools{"C:\\Program Files\\VMware\\vmware-cmd.bat", false, "C:\\Program Files\\VMware\\"}},
        {"seconds that are no whole number of at least 1",
         {{VmA}, {"WAIT:0"}, {"WAIT:"}},
         nullptr,
         join(startA,
              {"log:Skipping invalid wait: \"WAIT:0\" (the seconds must be a whole number of at least 1)",
               "log:Skipping invalid wait: \"WAIT:\" (the seconds must be a whole number of at least 1)"})},
    };
    for (const auto& c : cases) {
        Rig r(c.tools);
        r.w.entries = c.entries;
        if (c.setUp) c.setUp(r);
        r.seq.StartAll();
        Trace trace = r.w.trace;
        if (std::string(c.name) == "the nearest VM failed to start") {
            EXPECT_EQ(trace.back(), "notice:1 of 1 VM could not be started. Click to see the log.");
            trace.pop_back();
        }
        ASSERT_GE(trace.size(), 3u) << c.name;
        EXPECT_EQ(Trace(trace.begin() + 2, trace.end() - 1), c.expected) << c.name;
        EXPECT_EQ(trace.back(), "status:VMs Started: " + Now) << c.name;
    }
}

TEST(StartAll, AWaitEndsWhenASuspensionBeginsAndTheLaunchButtonStartsNoVmToWaitFor) {
    Rig r;
    r.w.entries = {{VmA}, {"WAIT:30"}, {VmB}};
    r.w.during["sleep:2000"] = [&r] { r.seq.SuspendAll(); };
    r.seq.StartAll();
    EXPECT_EQ(std::count(r.w.trace.begin(), r.w.trace.end(), "tools:" + VmA), 1);
    EXPECT_EQ(r.w.trace.back(),
              "log:Start sequence stopped: a suspension has begun; nothing more is started.");
    EXPECT_EQ(std::count(r.w.trace.begin(), r.w.trace.end(), "exec:start " + VmB), 0);

    // A delay ends there too, and so does one during which Exit closes the program.
    for (const bool exit : {false, true}) {
        Rig d;
        d.w.entries = {{VmA}, {"DELAY:60"}, {VmB}};
        d.w.answers = {false};
        d.w.during["sleep:60000"] = [&d, exit] {
            exit ? d.seq.ExitWithSuspendOffer() : void(d.seq.SuspendAll());
        };
        d.seq.StartAll();
        EXPECT_EQ(d.w.cutSleeps, 1) << exit;
        EXPECT_EQ(std::count(d.w.trace.begin(), d.w.trace.end(), "exec:start " + VmB), 0) << exit;
    }

    // Launched alone, a wait has no VM started in its run: it sleeps.
    Rig launch;
    launch.w.entries = {{VmA}, {"WAIT:4"}};
    launch.w.toolsUpAt[VmA] = 0;
    launch.w.selected = 0;
    launch.seq.LaunchSelected();
    launch.w.selected = 1;
    launch.seq.LaunchSelected();
    EXPECT_EQ(launch.From(4), (Trace{"log:Cannot wait for " + VmA +
                                         " to be ready: it was not started in this run; sleeping instead.",
                                     "status:Sleeping for 4 seconds...", "sleep:4000", "status:"}));
}

struct PromptCase {
    const char* name;
    std::vector<Entry> entries;
    std::deque<bool> answers;
    Trace expected; // from after "Starting VMs..." up to, not including, "VMs Started"
    std::vector<std::string> textsAfter;
};

TEST(StartAll, Prompts) {
    const std::vector<PromptCase> cases = {
        {"No marks the next entry, which is then passed over and restored",
         {{"PROMPT:"}, {VmA}, {VmB}},
         {false},
         {"status:Awaiting User Response...", "ask:Launch VM: " + VmA + "?", "replace:1:SKIP:" + VmA,
          "status:Skipped VM: SKIP:" + VmA, "replace:1:" + VmA, "status:Starting VM: " + VmB,
          "exec:start " + VmB},
         {"PROMPT:", VmA, VmB}},
        {"Yes changes nothing",
         {{"PROMPT:"}, {VmA}},
         {true},
         {"status:Awaiting User Response...", "ask:Launch VM: " + VmA + "?", "status:Starting VM: " + VmA,
          "exec:start " + VmA},
         {"PROMPT:", VmA}},
        {"No at the first of two prompts: the second asks nothing",
         {{"PROMPT:"}, {"PROMPT:"}, {VmA}},
         {false},
         {"status:Awaiting User Response...", "ask:Launch VM: PROMPT:?", "replace:1:SKIP:PROMPT:",
          "status:Skipped VM: SKIP:PROMPT:", "replace:1:PROMPT:", "status:Starting VM: " + VmA,
          "exec:start " + VmA},
         {"PROMPT:", "PROMPT:", VmA}},
        {"No at the last entry marks nothing",
         {{VmA, false}, {"PROMPT:"}},
         {false},
         {"status:Awaiting User Response...", "ask:Launch VM: (End of list)?"},
         {VmA, "PROMPT:"}},
        {"No before a disabled entry leaves its marker",
         {{"PROMPT:"}, {VmA, false}},
         {false},
         {"status:Awaiting User Response...", "ask:Launch VM: " + VmA + "?", "replace:1:SKIP:" + VmA},
         {"PROMPT:", "SKIP:" + VmA}},
    };
    for (const auto& c : cases) {
        Rig r;
        r.w.entries = c.entries;
        r.w.answers = c.answers;
        r.seq.StartAll();
        Trace expected = c.expected;
        expected.insert(expected.begin(), "status:Starting VMs...");
        expected.push_back("status:VMs Started: " + Now);
        EXPECT_EQ(r.From(1), expected) << c.name;
        std::vector<std::string> texts;
        for (const auto& e : r.w.entries)
            texts.push_back(e.text);
        EXPECT_EQ(texts, c.textsAfter) << c.name;
    }
}

TEST(LaunchButton, CarriesOutTheSelectedEntryEvenDisabledAndHoldsTheSession) {
    Rig r;
    r.w.entries = {{VmA}, {VmB, false}};
    r.w.selected = 1;
    r.seq.LaunchSelected();
    EXPECT_EQ(r.w.trace, (Trace{BlockCreated, "status:Starting VM: " + VmB, "exec:start " + VmB, "status:"}));
    EXPECT_FALSE(r.gate.Allowed());
}

TEST(LaunchButton, WithoutASelectionOnlyBeeps) {
    Rig r;
    r.w.entries = {{VmA}};
    r.seq.LaunchSelected();
    EXPECT_EQ(r.w.trace, (Trace{"beep"}));
    EXPECT_TRUE(r.gate.Allowed());
}

TEST(LaunchButton, OnAPromptAsksAndMarksTheNextEntry) {
    Rig r;
    r.w.entries = {{"PROMPT:"}, {VmA}};
    r.w.selected = 0;
    r.w.answers = {false};
    r.seq.LaunchSelected();
    EXPECT_EQ(r.From(1), (Trace{"status:Awaiting User Response...", "ask:Launch VM: " + VmA + "?",
                                "replace:1:SKIP:" + VmA, "status:"}));
}

// What another handler does while a start sequence waits.
struct NestingCase {
    const char* name;
    std::string during; // the trace line during whose wait it happens
    std::function<void(Rig&)> action;
    Trace expected; // from "Starting VMs..." on
};

TEST(StartAll, NestedHandlers) {
    const auto suspend = [](Rig& r) { r.seq.SuspendAll(); };
    const Trace suspension = {"status:Suspending cataloged VMs in reverse specified order...",
                              "status:  Suspending VM: " + VmB,
                              "exec:suspend " + VmB,
                              "status:Skipping startup user prompt...",
                              "status:Sleeping for 3/10 seconds...",
                              "sleep:300",
                              "status:  Suspending VM: " + VmA,
                              "exec:suspend " + VmA,
                              "status:Suspending any other running VMs...",
                              "list-running",
                              "status:",
                              "block:destroy"};
    const auto with = [](Trace a, const Trace& b, const Trace& c = {}) {
        a.insert(a.end(), b.begin(), b.end());
        a.insert(a.end(), c.begin(), c.end());
        return a;
    };
    const std::string stopped =
        "log:Start sequence stopped: a suspension has begun; nothing more is started.";
    const std::vector<NestingCase> cases = {
        {"a suspension while a VM starts: that VM is suspended again, nothing more starts",
         "exec:start " + VmA, suspend,
         // The session stays held until that VM is suspended too.
         with({"status:Starting VMs...", "status:Starting VM: " + VmA, "exec:start " + VmA},
              Trace(suspension.begin(), suspension.end() - 1),
              {"log:Suspension complete; waiting for the start under way to return.",
               "log:VM started while a suspension ran; suspending it now: " + VmA,
               "status:  Suspending VM: " + VmA, "exec:suspend " + VmA, "block:destroy", stopped})},
        {"a suspension inside the status line: the VM is not started", "status:Starting VM: " + VmA, suspend,
         with({"status:Starting VMs...", "status:Starting VM: " + VmA}, suspension,
              {"log:Not carried out (a suspension has begun): " + VmA, stopped})},
        {"a suspension during a delay", "sleep:3000", suspend,
         with({"status:Starting VMs...", "status:Starting VM: " + VmA, "exec:start " + VmA,
               "status:Sleeping for 3 seconds...", "sleep:3000"},
              suspension, {stopped})},
        {"a suspension while the prompt's question is open", "ask:Launch VM: " + VmB + "?", suspend,
         with({"status:Starting VMs...", "status:Starting VM: " + VmA, "exec:start " + VmA,
               "status:Sleeping for 3 seconds...", "sleep:3000", "status:Awaiting User Response...",
               "ask:Launch VM: " + VmB + "?"},
              suspension, {stopped})},
        {"the launch button is ignored",
         "exec:start " + VmA,
         [](Rig& r) { r.seq.LaunchSelected(); },
         {"status:Starting VMs...", "status:Starting VM: " + VmA, "exec:start " + VmA,
          "log:Launch button ignored: a sequence is running.", "beep", "status:Sleeping for 3 seconds...",
          "sleep:3000", "status:Awaiting User Response...", "ask:Launch VM: " + VmB + "?",
          "status:Starting VM: " + VmB, "exec:start " + VmB, "status:VMs Started: " + Now}},
        {"Exit answered No: nothing more starts",
         "exec:start " + VmA,
         [](Rig& r) { r.seq.ExitWithSuspendOffer(); },
         {"status:Starting VMs...", "status:Starting VM: " + VmA, "exec:start " + VmA,
          "ask:Do you want to suspend all your VMs before closing?", "log:Tarnwick being closed by user...",
          "quit", "log:Start sequence stopped: Tarnwick is closing; nothing more is started."}},
    };
    for (const auto& c : cases) {
        Rig r;
        r.w.entries = {{VmA}, {"DELAY:3"}, {"PROMPT:"}, {VmB}};
        r.w.answers = {true};
        if (std::string(c.name).starts_with("Exit")) r.w.answers = {false};
        r.w.during[c.during] = [&r, &c] { c.action(r); };
        r.seq.StartAll();
        EXPECT_EQ(r.From(1), c.expected) << c.name;
    }
}

TEST(StartAll, NoSecondStartOrLaunchAfterExit) {
    Rig r;
    r.w.entries = {{VmA}};
    r.w.selected = 0;
    r.w.during["status:Suspending cataloged VMs in reverse specified order..."] = [&r] { r.seq.StartAll(); };
    r.w.answers = {true};
    r.seq.ExitWithSuspendOffer();
    EXPECT_EQ(r.w.trace[2], "log:Start sequence not run: another sequence is running.");
    r.w.trace.clear();
    r.seq.LaunchSelected();
    r.seq.StartAll();
    EXPECT_EQ(r.w.trace, (Trace{"log:Launch button ignored: Tarnwick is closing.", "beep",
                                "log:Start sequence not run: Tarnwick is closing."}));
}

struct EditCase {
    const char* name;
    std::string during;
    std::function<void(FakeWorld&)> edit;
    Trace tail; // what follows the line the edit happened at
};

TEST(StartAll, EditsDuringTheRunNeverActOnAMovedIndex) {
    const std::string changed =
        "log:Start sequence stopped: the list was changed during the run; the remaining "
        "entries were not carried out.";
    const std::vector<EditCase> cases = {
        {"entries removed", "exec:start " + VmA, [](FakeWorld& w) { w.entries.resize(1); }, {changed}},
        {"entries swapped",
         "exec:start " + VmA,
         [](FakeWorld& w) { std::swap(w.entries[2], w.entries[3]); },
         {"status:Sleeping for 3 seconds...", "sleep:3000", changed}},
        {"an entry appended: the run goes on, without it",
         "exec:start " + VmA,
         [](FakeWorld& w) { w.entries.push_back({VmC}); },
         {"status:Sleeping for 3 seconds...", "sleep:3000", "status:Awaiting User Response...",
          "ask:Launch VM: " + VmB + "?", "replace:3:SKIP:" + VmB, "status:Skipped VM: SKIP:" + VmB,
          "replace:3:" + VmB, "status:VMs Started: " + Now}},
        {"the asked-about entry removed while the question is open",
         "ask:Launch VM: " + VmB + "?",
         [](FakeWorld& w) { w.entries.pop_back(); },
         {"log:Prompt answer not applied: the list was changed while the question was open.", changed}},
        {"the marked entry moved while its status shows",
         "status:Skipped VM: SKIP:" + VmB,
         [](FakeWorld& w) { std::swap(w.entries[0], w.entries[3]); },
         {"log:Skip marker not removed: the list was changed during the run.", "status:VMs Started: " + Now}},
    };
    for (const auto& c : cases) {
        Rig r;
        r.w.entries = {{VmA}, {"DELAY:3"}, {"PROMPT:"}, {VmB}};
        r.w.answers = {false};
        r.w.during[c.during] = [&r, &c] { c.edit(r.w); };
        r.seq.StartAll();
        const auto at = std::find(r.w.trace.begin(), r.w.trace.end(), c.during);
        ASSERT_NE(at, r.w.trace.end()) << c.name;
        EXPECT_EQ(Trace(at + 1, r.w.trace.end()), c.tail) << c.name;
    }
}

TEST(Sequencer, AMissingServiceFunctionFailsAtConstruction) {
    FakeWorld w;
    VmwareTools vmware;
    EndSessionGate gate{w};
    fakes::FakeWriter writer{w};
    ResumeRecord record{"C:\\T\\Tarnwick.resume", w, writer};
    const ResumeServices resume{record, w, w.options};
    const auto now = [] { return Now; };
    EXPECT_THROW(Sequencer(SequenceServices{vmware, w, w, w, w, w, gate, nullptr, [] {}, resume}),
                 std::logic_error);
    EXPECT_THROW(Sequencer(SequenceServices{vmware, w, w, w, w, w, gate, now, nullptr, resume}),
                 std::logic_error);
    EXPECT_NO_THROW(Sequencer(SequenceServices{vmware, w, w, w, w, w, gate, now, [] {}, resume}));
}

} // namespace
