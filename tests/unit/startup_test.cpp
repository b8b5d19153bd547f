#include "app/startup.h"
#include "app/unattended.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::fakes;

namespace {

struct Fixture {
    RecordingStartupHost rec;
    std::optional<Startup> startup;

    std::vector<std::string> Run(const std::string& commandLine) {
        startup.emplace(rec, rec, rec, commandLine);
        startup->Run();
        return rec.trace;
    }
};

} // namespace

TEST(Startup, FilesLieBesideTheExecutable) {
    const RunFiles files =
        RunFiles::Beside("C:\\Program Files\\T\\Tarnwick.exe", "C:\\Program Files\\T\\Tarnwick-2.tmp");
    EXPECT_EQ(files.appDir, "C:\\Program Files\\T\\");
    EXPECT_EQ(files.configFilePath, "C:\\Program Files\\T\\Tarnwick.ini");
    EXPECT_EQ(files.logFilePath, "C:\\Program Files\\T\\Tarnwick.log");
    EXPECT_EQ(files.capturePath, "C:\\Program Files\\T\\Tarnwick-2.tmp");
}

TEST(Startup, OrderOfTheSteps) {
    struct Case {
        const char* line;
        Trace expected;
    };
    const std::string started = "log:Started; Command line: ";
    // The tool is settled before anything can run it: the backup, the list's start.
    const std::string use = "use:C:\\VMware\\vmrun.exe";
    const Case cases[] = {
        {"p", {"probe:Workstation", use, started + "p", "load", "check"}},
        {"p /START", {"probe:Workstation", use, started + "p /START", "load", "check"}},
        // The backup and help never look for another copy, and end the program.
        {"p /BKP D:\\B",
         {"probe:Workstation", use, started + "p /BKP D:\\B", "load", "backup:D:\\B", "quit"}},
        {"p /bkp D:\\a /BKP E:\\b",
         {"probe:Workstation", use, started + "p /bkp D:\\a /BKP E:\\b", "load", "backup:E:\\b", "quit"}},
        {"p /BKP /START",
         {"probe:Workstation", use, started + "p /BKP /START", "load", "backup:/START", "quit"}},
        {"p /BKP",
         {"probe:Workstation", use, started + "p /BKP", "load",
          "box:ERROR: /BKP parameter must be followed by a path.",
          "notice:The backup did not run: the target folder does not exist or was not given. Click to see "
          "the "
          "log.",
          "quit"}},
        {"p /BKP D:\\B /?",
         {"probe:Workstation", use, started + "p /BKP D:\\B /?", "load", "backup:D:\\B",
          std::string("box:") + HelpText, "quit"}},
        {"p /help",
         {"probe:Workstation", use, started + "p /help", "load", std::string("box:") + HelpText, "quit"}},
        {"p -START /STARTX", {"probe:Workstation", use, started + "p -START /STARTX", "load", "check"}},
    };
    for (const Case& c : cases) {
        Fixture f;
        EXPECT_EQ(f.Run(c.line), c.expected) << c.line;
    }
}

TEST(Startup, StartSwitchIsRememberedEvenWhenEnding) {
    Fixture f;
    f.Run("p /BKP /START");
    EXPECT_TRUE(f.startup->StartPending());
    Fixture g;
    g.Run("p /start");
    EXPECT_TRUE(g.startup->StartPending());
    Fixture h;
    h.Run("p /STARTX");
    EXPECT_FALSE(h.startup->StartPending());
}

TEST(Startup, NoVmwareEndsUnlessSkipped) {
    Fixture f;
    f.rec.toolDir = "";
    EXPECT_EQ(f.Run("p"),
              (Trace{"probe:Workstation", "probe:Server",
                     "box:ERROR: No supported versions of VMWare (Workstation 5-6 or Server 1) appear to be "
                     "installed on this machine.",
                     "quit", "use:", "log:Started; Command line: p", "load", "check"}));
    EXPECT_EQ(f.rec.toolDirShown, "");

    Fixture g;
    g.rec.toolDir = "";
    EXPECT_EQ(g.Run("p /skip_vmware_check"),
              (Trace{"probe:Workstation", "probe:Server",
                     "use:", "log:Started; Command line: p /skip_vmware_check", "load", "check"}));
    EXPECT_EQ(g.rec.toolDirShown, "(DEBUGGING: VMWare Check Skipped)");
    EXPECT_EQ(g.rec.used.toolDir, "(DEBUGGING: VMWare Check Skipped)");

    Fixture h;
    EXPECT_EQ(h.Run("p /SKIP_VMWARE_CHECK").front(), "probe:Workstation");
    EXPECT_EQ(h.rec.toolDirShown, "C:\\VMware\\");
}

TEST(Startup, BackupRunEndsWithItsCodeForTheSchedulerAndAFailureNotice) {
    Fixture f;
    f.rec.backupResult = 1;
    const Trace trace = f.Run("p /BKP D:\\B");
    EXPECT_EQ(f.startup->ExitCode(), 1);
    EXPECT_EQ(trace.end()[-2], "notice:The backup did not complete: a step failed. Click to see the log.");
    EXPECT_EQ(trace.back(), "quit");
    Fixture g;
    g.Run("p /BKP");
    EXPECT_EQ(g.startup->ExitCode(), 2) << "no path given";
    Fixture h;
    h.Run("p /START");
    EXPECT_EQ(h.startup->ExitCode(), 0);
}

TEST(Startup, AnotherCopyEndsThisOne) {
    Fixture f;
    f.rec.otherInstance = true;
    EXPECT_EQ(f.Run("p").back(), "quit");
}

TEST(Startup, FirstActivationAfterStartRunsTheListOnce) {
    Fixture f;
    f.Run("p /START");
    f.rec.trace.clear();
    f.startup->WindowActivated();
    f.startup->WindowActivated(); // a later activation: nothing more
    EXPECT_EQ(f.rec.trace, (Trace{"startall", "timer"}));
    EXPECT_FALSE(f.startup->StartPending());
}

TEST(Startup, ActivationWithoutStartDoesNothing) {
    Fixture f;
    f.Run("p");
    f.rec.trace.clear();
    f.startup->WindowActivated();
    EXPECT_TRUE(f.rec.trace.empty());
}

TEST(Startup, ProgramThatIsEndingStartsNoVms) {
    Fixture f;
    f.Run("p /BKP D:\\B /START");
    f.rec.trace.clear();
    f.startup->WindowActivated();
    EXPECT_TRUE(f.rec.trace.empty()) << "a /BKP run must not also start the list";
    EXPECT_FALSE(f.startup->StartPending());
}

TEST(Unattended, OnlyABackupRunWithNoOneToAnswerSendsItsMessagesToTheLog) {
    EXPECT_TRUE(MessagesGoToLog(true, false)); // a box nobody answers never ends
    EXPECT_FALSE(MessagesGoToLog(true, true));
    EXPECT_FALSE(MessagesGoToLog(false, false)); // the tray copy keeps its boxes

    fakes::RecordingUi boxes, log;
    RoutedDialogs dialogs(boxes, log);
    dialogs.ShowMessage("shown");
    boxes.answers = {true};
    EXPECT_TRUE(dialogs.Confirm("asked?"));
    dialogs.SendToLog();
    dialogs.ShowMessage("ERROR: target Directory does not exist: E:\\Bkp");
    EXPECT_FALSE(dialogs.Confirm("Suspend all?"));
    dialogs.InvalidEntry("bad");
    dialogs.Beep();
    EXPECT_EQ(boxes.trace, (fakes::Trace{"box:shown", "ask:asked?"}));
    EXPECT_EQ(log.trace, (fakes::Trace{"log:ERROR: target Directory does not exist: E:\\Bkp",
                                       "log:Suspend all? (no one to answer; taken as No)", "log:bad"}));
}
