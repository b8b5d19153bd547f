#include "sequences_fakes.h"

using namespace tarnwick;
using namespace tarnwick::sequences_test;

namespace {

const std::string VmA = "D:\\VMs\\A\\A.vmx", VmB = "D:\\VMs\\B\\B.vmx";
const std::string VmZ = "E:\\Other\\Z.vmx", VmY = "E:\\Other\\Y.vmx", VmX = "E:\\Other\\X.vmx";
const std::string Restarting = "status:Restarting VM left running at logoff: ",
                  Started = "status:VMs Started: " + Now;

// A suspension with A enabled and B disabled in the list, then a /START; X cannot be suspended, Z not
// started.
struct ResumeCase {
    std::optional<std::string> recordBefore; // nullopt: no Tarnwick.resume
    std::vector<std::string> runningAtSuspension, runningAtStart;
    std::string recorded; // Tarnwick.resume after the suspension
    bool resumeOthers;    // on: the start deletes the record
    Trace afterTheList;   // what the start does after starting A
};

TEST(Resume, WhatASuspensionRecordsAndWhatTheNextStartDoesWithIt) {
    const ResumeCase cases[] = {
        // The disabled entry and an unlisted VM, not an enabled entry in other letter case.
        {std::nullopt,
         {VmB, VmY, "d:\\vms\\a\\a.VMX"},
         {},
         VmB + "\r\n" + VmY + "\r\n",
         true,
         {"list-running", Restarting + VmB, "exec:start " + VmB, Restarting + VmY, "exec:start " + VmY,
          Started}},
        // Only what is new and was suspended is added; with the option off the record stays.
        {VmZ + "\r\n",
         {"e:\\other\\z.vmx", VmY, VmX},
         {},
         VmZ + "\r\n" + VmY + "\r\n",
         false,
         {"log:Not restarting the VMs left running at logoff (the option is off); Tarnwick.resume is kept.",
          Started}},
        // A gone .vmx is skipped, a running VM left alone, and a failed start is in the notice.
        {VmX + "\n" + VmY + "\r\n\r\n" + VmZ + "\r" + VmB,
         {},
         {VmY},
         VmX + "\n" + VmY + "\r\n\r\n" + VmZ + "\r" + VmB,
         true,
         {"list-running", "log:Skipping VM left running at logoff (its .vmx no longer exists): " + VmX,
          "log:Skipping VM left running at logoff (it is running already): " + VmY, Restarting + VmZ,
          "exec:start " + VmZ, Restarting + VmB, "exec:start " + VmB, Started,
          "notice:1 of 3 VMs could not be started. Click to see the log."}},
    };
    for (const ResumeCase& c : cases) {
        SCOPED_TRACE(c.recorded);
        Rig r;
        r.w.entries = {{VmA}, {VmB, false}};
        for (const std::string& vmx : {VmA, VmB, VmZ, VmY})
            r.w.files[vmx] = "config.version = \"8\"";
        if (c.recordBefore) r.w.files[Rig::ResumePath] = *c.recordBefore;
        r.w.running = c.runningAtSuspension;
        r.w.failingVerbs = {"suspend " + VmX, "start " + VmZ};
        r.w.options.resumeOthers = c.resumeOthers;
        r.seq.SuspendAll();
        EXPECT_EQ(r.w.files[Rig::ResumePath], c.recorded);

        r.w.running = c.runningAtStart;
        const size_t from = r.w.trace.size();
        r.seq.StartAll();
        const Trace start = r.From(from);
        const auto list = std::find(start.begin(), start.end(), "exec:start " + VmA);
        ASSERT_NE(list, start.end());
        EXPECT_EQ(Trace(list + 1, start.end()), c.afterTheList);
        const auto record = r.w.files.find(Rig::ResumePath);
        EXPECT_EQ(record == r.w.files.end() ? "<deleted>" : record->second,
                  c.resumeOthers ? "<deleted>" : c.recorded);
    }
}

} // namespace
