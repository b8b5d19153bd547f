#include "sequences_fakes.h"

using namespace tarnwick;
using namespace tarnwick::sequences_test;

namespace {

const std::string VmA = "D:\\VMs\\A\\A.vmx", VmB = "D:\\VMs\\B\\B.vmx";
const std::string VmZ = "E:\\Other\\Z.vmx", VmY = "E:\\Other\\Y.vmx", VmX = "E:\\Other\\X.vmx";
const std::string Restarting = "status:Restarting VM left running at logoff: ";

// A suspension with A enabled and B disabled in the list, then a /START.
struct ResumeCase {
    const char* name;
    std::optional<std::string> recordBefore; // nullopt: no Tarnwick.resume
    std::vector<std::string> running;        // what the suspension's second pass lists
    std::string recordAfterSuspension;
    bool resumeOthers;
    std::vector<std::string> runningAtStart;
    std::set<std::string> failingVerbs;
    Trace afterTheList; // what the start does after starting A
    std::optional<std::string> recordAfterStart;
};

TEST(Resume, WhatASuspensionRecordsAndWhatTheNextStartDoesWithIt) {
    const std::string off = "log:Not restarting the VMs left running at logoff (the option is off); "
                            "Tarnwick.resume is kept.";
    const ResumeCase cases[] = {
        {"the disabled entry and the unlisted VM are recorded, not an enabled entry in other letter case; "
         "the option restarts them and the record goes",
         std::nullopt,
         {VmB, VmZ, "d:\\vms\\a\\a.VMX"},
         VmB + "\r\n" + VmZ + "\r\n",
         true,
         {},
         {},
         {"list-running", Restarting + VmB, "exec:start " + VmB, Restarting + VmZ, "exec:start " + VmZ,
          "status:VMs Started: " + Now},
         std::nullopt},
        {"a later suspension adds only what is new and was suspended; with the option off the record stays",
         VmZ + "\r\n",
         {"e:\\other\\z.vmx", VmY, VmX},
         VmZ + "\r\n" + VmY + "\r\n",
         false,
         {},
         {"suspend " + VmX},
         {off, "status:VMs Started: " + Now},
         VmZ + "\r\n" + VmY + "\r\n"},
        {"a gone .vmx is skipped, a running VM left alone, and a failed start is in the notice",
         VmX + "\n" + VmY + "\r\n\r\n" + VmZ + "\r" + VmB,
         {},
         VmX + "\n" + VmY + "\r\n\r\n" + VmZ + "\r" + VmB,
         true,
         {VmY},
         {"start " + VmZ},
         {"list-running", "log:Skipping VM left running at logoff (its .vmx no longer exists): " + VmX,
          "log:Skipping VM left running at logoff (it is running already): " + VmY, Restarting + VmZ,
          "exec:start " + VmZ, Restarting + VmB, "exec:start " + VmB, "status:VMs Started: " + Now,
          "notice:1 of 3 VMs could not be started. Click to see the log."},
         std::nullopt},
    };
    for (const ResumeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.w.entries = {{VmA}, {VmB, false}};
        for (const std::string& vmx : {VmA, VmB, VmZ, VmY})
            r.w.files[vmx] = "config.version = \"8\"";
        if (c.recordBefore) r.w.files[Rig::ResumePath] = *c.recordBefore;
        r.w.running = c.running;
        r.w.failingVerbs = c.failingVerbs;
        r.w.options.resumeOthers = c.resumeOthers;
        r.seq.SuspendAll();
        EXPECT_EQ(r.w.files[Rig::ResumePath], c.recordAfterSuspension);

        r.w.running = c.runningAtStart;
        const size_t from = r.w.trace.size();
        r.seq.StartAll();
        const Trace start = r.From(from);
        const auto list = std::find(start.begin(), start.end(), "exec:start " + VmA);
        ASSERT_NE(list, start.end());
        EXPECT_EQ(Trace(list + 1, start.end()), c.afterTheList);
        const auto record = r.w.files.find(Rig::ResumePath);
        EXPECT_EQ(record == r.w.files.end() ? std::nullopt : std::optional(record->second),
                  c.recordAfterStart);
    }
}

} // namespace
