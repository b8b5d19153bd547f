#include "app/startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarnwick;

namespace {

// Records every step in one trace, so order is checked along with content.
struct Recorder : Reporter, Dialogs, StartupHost {
    std::vector<std::string> trace;
    bool endRequested = false;
    std::string toolDirCaption;

    void WriteLog(const std::string& m) override { trace.push_back("log:" + m); }
    void ShowStatus(const std::string& m) override { trace.push_back("status:" + m); }
    void ShowMessage(const std::string& t) override { trace.push_back("box:" + t); }
    bool Confirm(const std::string& q) override {
        trace.push_back("ask:" + q);
        return true;
    }
    void InvalidEntry(const std::string& t) override { trace.push_back("invalid:" + t); }
    void Beep() override { trace.push_back("beep"); }
    void QuitApp() override {
        endRequested = true;
        trace.push_back("quit");
    }
    bool EndRequested() const override { return endRequested; }
    void SetToolDirCaption(const std::string& t) override { toolDirCaption = t; }
    void EnableHideTimer() override { trace.push_back("timer"); }
};

struct Fixture {
    MainState state;
    Recorder rec;
    StartupSteps steps;
    Startup startup{state, rec, rec, rec, steps};
    std::string toolDir = "C:\\VMware\\";
    bool otherInstance = false;
    int backupResult = 0;

    Fixture() {
        steps.FindVmware = [this] {
            rec.trace.push_back("find");
            return toolDir;
        };
        steps.LoadConfig = [this] { rec.trace.push_back("load"); };
        steps.BackupRunningVms = [this](const std::string& d) {
            rec.trace.push_back("backup:" + d);
            return backupResult;
        };
        steps.CheckOtherInstance = [this] {
            rec.trace.push_back("check");
            return otherInstance;
        };
        steps.StartAll = [this] {
            rec.trace.push_back("startall:" + std::string(state.EndSessionAllowed ? "allowed" : "held"));
        };
    }

    std::vector<std::string> Run(const std::string& commandLine) {
        startup.SetPaths("C:\\Apps\\Tarnwick.exe", commandLine);
        startup.InitGlobalsAfterPaths();
        return rec.trace;
    }
};

using Trace = std::vector<std::string>;

} // namespace

TEST(Startup, PathsComeFromTheExecutable) {
    Fixture f;
    f.startup.SetPaths("C:\\Program Files\\T\\Tarnwick.exe", "x");
    EXPECT_EQ(f.state.AppDir, "C:\\Program Files\\T\\");
    EXPECT_EQ(f.state.ConfigFilePath, "C:\\Program Files\\T\\Tarnwick.ini");
    EXPECT_EQ(f.state.LogFilePath, "C:\\Program Files\\T\\Tarnwick.log");
    EXPECT_EQ(f.state.TempFilePath, "C:\\Program Files\\T\\Tarnwick.tmp");
    EXPECT_TRUE(f.state.EndSessionAllowed);
    EXPECT_FALSE(f.state.StartupPending);
}

TEST(Startup, OrderOfTheSteps) {
    struct Case {
        const char* line;
        Trace expected;
    };
    const std::string started = "log:Started; Command line: ";
    const Case cases[] = {
        {"p", {"find", started + "p", "load", "check"}},
        {"p /START", {"find", started + "p /START", "load", "check"}},
        // The backup and help never look for another copy, and end the program.
        {"p /BKP D:\\B", {"find", started + "p /BKP D:\\B", "load", "backup:D:\\B", "quit"}},
        {"p /bkp D:\\a /BKP E:\\b", {"find", started + "p /bkp D:\\a /BKP E:\\b", "load", "backup:E:\\b", "quit"}},
        {"p /BKP /START", {"find", started + "p /BKP /START", "load", "backup:/START", "quit"}},
        {"p /BKP", {"find", started + "p /BKP", "load", "box:ERROR: /BKP parameter must be followed by a path.", "quit"}},
        {"p /BKP D:\\B /?", {"find", started + "p /BKP D:\\B /?", "load", "backup:D:\\B", std::string("box:") + HelpText, "quit"}},
        {"p /help", {"find", started + "p /help", "load", std::string("box:") + HelpText, "quit"}},
        {"p -START /STARTX", {"find", started + "p -START /STARTX", "load", "check"}},
    };
    for (const Case& c : cases) {
        Fixture f;
        EXPECT_EQ(f.Run(c.line), c.expected) << c.line;
    }
}

TEST(Startup, StartSwitchIsRememberedEvenWhenEnding) {
    Fixture f;
    f.Run("p /BKP /START");
    EXPECT_TRUE(f.state.StartupPending);
    Fixture g;
    g.Run("p /start");
    EXPECT_TRUE(g.state.StartupPending);
    Fixture h;
    h.Run("p /STARTX");
    EXPECT_FALSE(h.state.StartupPending);
}

TEST(Startup, NoVmwareEndsUnlessSkipped) {
    Fixture f;
    f.toolDir = "";
    EXPECT_EQ(f.Run("p"), (Trace{"find",
                                 "box:ERROR: No supported versions of VMWare (Workstation 5-6 or Server 1) appear to be "
                                 "installed on this machine.",
                                 "quit", "log:Started; Command line: p", "load", "check"}));
    EXPECT_EQ(f.rec.toolDirCaption, "");

    Fixture g;
    g.toolDir = "";
    EXPECT_EQ(g.Run("p /skip_vmware_check"), (Trace{"find", "log:Started; Command line: p /skip_vmware_check", "load",
                                                    "check"}));
    EXPECT_EQ(g.rec.toolDirCaption, "(DEBUGGING: VMWare Check Skipped)");
    EXPECT_EQ(g.state.ToolDir, "(DEBUGGING: VMWare Check Skipped)");

    Fixture h;
    EXPECT_EQ(h.Run("p /SKIP_VMWARE_CHECK").front(), "find");
    EXPECT_EQ(h.rec.toolDirCaption, "C:\\VMware\\");
}

TEST(Startup, BackupRunEndsWithItsCodeForTheScheduler) {
    Fixture f;
    f.backupResult = 1;
    f.Run("p /BKP D:\\B");
    EXPECT_EQ(f.startup.ExitCode(), 1);
    Fixture g;
    g.Run("p /BKP");
    EXPECT_EQ(g.startup.ExitCode(), 2) << "no path given";
    Fixture h;
    h.Run("p /START");
    EXPECT_EQ(h.startup.ExitCode(), 0);
}

TEST(Startup, AnotherCopyEndsThisOne) {
    Fixture f;
    f.otherInstance = true;
    EXPECT_EQ(f.Run("p").back(), "quit");
}

TEST(Startup, FirstActivationAfterStartRunsTheListOnce) {
    Fixture f;
    f.Run("p /START");
    f.rec.trace.clear();
    f.startup.FormActivate();
    f.startup.FormActivate(); // a later activation: nothing more
    EXPECT_EQ(f.rec.trace, (Trace{"startall:held", "timer"}));
    EXPECT_FALSE(f.state.EndSessionAllowed);
    EXPECT_FALSE(f.state.StartupPending);
}

TEST(Startup, ActivationWithoutStartDoesNothing) {
    Fixture f;
    f.Run("p");
    f.rec.trace.clear();
    f.startup.FormActivate();
    EXPECT_TRUE(f.rec.trace.empty());
    EXPECT_TRUE(f.state.EndSessionAllowed);
}

TEST(Startup, ProgramThatIsEndingStartsNoVms) {
    Fixture f;
    f.Run("p /BKP D:\\B /START");
    f.rec.trace.clear();
    f.startup.FormActivate();
    EXPECT_TRUE(f.rec.trace.empty()) << "a /BKP run must not also start the list";
    EXPECT_TRUE(f.state.EndSessionAllowed);
    EXPECT_FALSE(f.state.StartupPending);
}
