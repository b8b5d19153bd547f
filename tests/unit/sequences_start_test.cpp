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
                         }));
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
         with({"status:Starting VMs...", "status:Starting VM: " + VmA, "exec:start " + VmA}, suspension,
              {"log:VM started while a suspension ran; suspending it now: " + VmA,
               "status:  Suspending VM: " + VmA, "exec:suspend " + VmA, stopped})},
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
    const auto now = [] { return Now; };
    EXPECT_THROW(Sequencer(SequenceServices{vmware, w, w, w, w, w, gate, nullptr, [] {}}), std::logic_error);
    EXPECT_THROW(Sequencer(SequenceServices{vmware, w, w, w, w, w, gate, now, nullptr}), std::logic_error);
    EXPECT_NO_THROW(Sequencer(SequenceServices{vmware, w, w, w, w, w, gate, now, [] {}}));
}

} // namespace
