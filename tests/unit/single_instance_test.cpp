#include "app/single_instance.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace tarnwick;
using tarnwick::fakes::RecordingUi;

namespace {

struct FakeProcess {
    std::optional<std::string> path; // nullopt: the path cannot be read
    std::optional<AccountName> account;
    bool opens = true;
};

class FakeProcessList : public ProcessList {
  public:
    uint32_t ownPid = 100;
    bool enumFails = false;
    std::vector<uint32_t> ids;
    std::optional<uint32_t> reportedBytes; // overrides the honest byte count
    std::map<uint32_t, FakeProcess> processes;
    std::vector<uint32_t> opened;
    int openNow = 0; // handles not yet closed

    uint32_t OwnProcessId() override { return ownPid; }

    std::optional<uint32_t> EnumProcessIds(std::span<uint32_t> buffer) override {
        if (enumFails) return std::nullopt;
        const size_t n = std::min(buffer.size(), ids.size());
        std::copy_n(ids.begin(), n, buffer.begin());
        return reportedBytes.value_or(static_cast<uint32_t>(n * sizeof(uint32_t)));
    }

    std::unique_ptr<InspectedProcess> Open(uint32_t pid) override;
};

class FakeInspected : public InspectedProcess {
  public:
    FakeInspected(FakeProcessList& list, const FakeProcess& p) : list_(list), p_(p) { ++list_.openNow; }
    ~FakeInspected() override { --list_.openNow; }
    std::optional<std::string> ImagePath() override { return p_.path; }
    std::optional<AccountName> Account() override { return p_.account; }

  private:
    FakeProcessList& list_;
    FakeProcess p_;
};

std::unique_ptr<InspectedProcess> FakeProcessList::Open(uint32_t pid) {
    opened.push_back(pid);
    auto it = processes.find(pid);
    if (it == processes.end() || !it->second.opens) return nullptr;
    return std::make_unique<FakeInspected>(*this, it->second);
}

const std::string OwnExe = "C:\\Tools\\Tarnwick\\Tarnwick.exe";

} // namespace

TEST(SingleInstance, MessageNamesPathAndAccount) {
    EXPECT_EQ(OtherInstanceMessage("D:\\Other dir\\Tarnwick.exe", {"WORKGROUP", "alice"}),
              "Tarnwick will not be launched.\r\rAnother instance of D:\\Other dir\\Tarnwick.exe\ris already "
              "running under user \\\\WORKGROUP\\alice.");
    // A path is shown as it stands, however long.
    const std::string longPath = "C:\\" + std::string(250, 'x') + "\\Tarnwick.exe";
    EXPECT_EQ(OtherInstanceMessage(longPath, {"", "bob"}),
              "Tarnwick will not be launched.\r\rAnother instance of " + longPath +
                  "\ris already running under user \\\\\\bob.");
}

TEST(SingleInstance, FileNameComparison) {
    struct Case {
        const char* path;
        bool same;
    };
    const Case cases[] = {
        {"C:\\Tools\\Tarnwick\\Tarnwick.exe", true},
        {"E:\\elsewhere\\Tarnwick.exe", true},
        {"Tarnwick.exe", true},
        {"C:Tarnwick.exe", true}, // a drive-relative path: the colon ends the directory part
        {"\\\\server\\share\\Tarnwick.exe", true},
        {"C:\\Tools\\TARNWICK.EXE", false}, // letter case counts
        {"C:\\Tools\\tarnwick.exe", false},
        {"C:\\Tools\\Tarnwick.exe.bak", false},
        {"C:\\Tools\\MyTarnwick.exe", false},
        {"C:\\Tarnwick.exe\\other.exe", false},
        {"C:/Tools/Tarnwick.exe", false}, // a forward slash is not a separator here
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameFileName(c.path, "Tarnwick.exe"), c.same) << c.path;
}

TEST(SingleInstance, ScanFindsEveryOtherCopy) {
    FakeProcessList list;
    list.ids = {0, 4, 100, 200, 300, 400, 500, 600, 700};
    list.processes[4] = {"C:\\Windows\\System32\\smss.exe", AccountName{"NT AUTHORITY", "SYSTEM"}};
    list.processes[100] = {OwnExe, AccountName{"PC", "me"}}; // ourselves
    list.processes[200] = {"D:\\Copy\\Tarnwick.exe", AccountName{"PC", "alice"}};
    list.processes[300] = {"C:\\Tools\\Tarnwick\\TARNWICK.EXE", AccountName{"PC", "carol"}};
    list.processes[400] = {OwnExe, std::nullopt};                     // lookup fails
    list.processes[500] = {OwnExe, AccountName{"PC", "dave"}, false}; // cannot be opened
    list.processes[600] = {std::nullopt, AccountName{"PC", "erin"}};  // path unreadable
    // 700 does not exist any more
    RecordingUi dialogs;

    EXPECT_TRUE(CheckOtherInstance(list, dialogs, OwnExe));
    ASSERT_EQ(dialogs.Lines("box:").size(), 2u);
    EXPECT_EQ(dialogs.Lines("box:")[0],
              "Tarnwick will not be launched.\r\rAnother instance of D:\\Copy\\Tarnwick.exe"
              "\ris already running under user \\\\PC\\alice.");
    EXPECT_EQ(dialogs.Lines("box:")[1],
              "Tarnwick will not be launched.\r\rAnother instance of "
              "C:\\Tools\\Tarnwick\\Tarnwick.exe\ris already running under user \\\\?\\?.");
    EXPECT_EQ(list.opened, (std::vector<uint32_t>{4, 100, 200, 300, 400, 500, 600, 700})); // never id 0
    EXPECT_EQ(list.openNow, 0);
}

TEST(SingleInstance, NothingToFind) {
    struct Case {
        const char* name;
        std::vector<uint32_t> ids;
    };
    const Case cases[] = {
        {"empty list", {}},
        {"only id 0", {0, 0}},
        {"only ourselves", {100}},
        {"strangers", {100, 8, 9}},
    };
    for (const Case& c : cases) {
        FakeProcessList list;
        list.ids = c.ids;
        list.processes[100] = {OwnExe, AccountName{"PC", "me"}};
        list.processes[8] = {"C:\\Windows\\explorer.exe", AccountName{"PC", "me"}};
        list.processes[9] = {"C:\\Tools\\Tarnwick\\Tarnwick.com", AccountName{"PC", "me"}};
        RecordingUi dialogs;
        EXPECT_FALSE(CheckOtherInstance(list, dialogs, OwnExe)) << c.name;
        EXPECT_TRUE(dialogs.trace.empty()) << c.name;
    }
}

TEST(SingleInstance, EnumerationFailureWarnsAndLetsTheStartGoOn) {
    FakeProcessList list;
    list.enumFails = true;
    list.ids = {200};
    list.processes[200] = {"D:\\Copy\\Tarnwick.exe", AccountName{"PC", "alice"}};
    RecordingUi dialogs;
    EXPECT_FALSE(CheckOtherInstance(list, dialogs, OwnExe));
    EXPECT_EQ(dialogs.Lines("box:"),
              std::vector<std::string>{"WARNING: EnumProcesses returned an error; skipping check "
                                       "for existing instance of application."});
    EXPECT_TRUE(list.opened.empty());
}

TEST(SingleInstance, OnlyTheFirst1025IdsAreExamined) {
    FakeProcessList list;
    for (uint32_t pid = 1000; pid < 1000 + 1100; ++pid)
        list.ids.push_back(pid);
    list.processes[1000 + 1024] = {"D:\\last\\Tarnwick.exe", AccountName{"PC", "in"}};
    list.processes[1000 + 1025] = {"D:\\beyond\\Tarnwick.exe", AccountName{"PC", "out"}};
    RecordingUi dialogs;
    EXPECT_TRUE(CheckOtherInstance(list, dialogs, OwnExe));
    ASSERT_EQ(dialogs.Lines("box:").size(), 1u);
    EXPECT_NE(dialogs.Lines("box:")[0].find("D:\\last\\Tarnwick.exe"), std::string::npos);
    EXPECT_EQ(list.opened.size(), 1025u);
}

TEST(SingleInstance, ByteCountIsTrustedOnlyUpToTheBuffer) {
    // An odd byte count covers only the whole ids in it; an oversized one stops at the buffer's end.
    FakeProcessList list;
    list.ids = {200, 300};
    list.processes[200] = {"D:\\a\\Tarnwick.exe", AccountName{"PC", "a"}};
    list.processes[300] = {"D:\\b\\Tarnwick.exe", AccountName{"PC", "b"}};
    RecordingUi dialogs;
    list.reportedBytes = 7;
    EXPECT_TRUE(CheckOtherInstance(list, dialogs, OwnExe));
    EXPECT_EQ(list.opened, std::vector<uint32_t>{200});

    list.opened.clear();
    list.reportedBytes = 100000;
    CheckOtherInstance(list, dialogs, OwnExe);
    EXPECT_EQ(list.opened, (std::vector<uint32_t>{200, 300})); // the rest of the buffer holds id 0
}
