#include "common/win32/module.h"
#include "ui/win32/version_info.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

using tarnwick::win32::ModuleFileName;
using tarnwick::win32::ReadVersionInfo;

namespace {

using Bytes = std::vector<char>;

void Pad(Bytes& b) {
    while (b.size() % 4)
        b.push_back(0);
}

// One node of a version resource: length, value length, type, key, padding, value, padding, children.
Bytes Node(const std::wstring& key, const Bytes& value, WORD valueLength, WORD type,
           const std::vector<Bytes>& children) {
    Bytes b(6, 0);
    const auto* k = reinterpret_cast<const char*>(key.c_str());
    b.insert(b.end(), k, k + (key.size() + 1) * sizeof(wchar_t));
    Pad(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Pad(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    const WORD header[3] = {static_cast<WORD>(b.size()), valueLength, type};
    std::memcpy(b.data(), header, sizeof header);
    return b;
}

Bytes String(const std::wstring& key, const std::wstring& text) {
    const auto* t = reinterpret_cast<const char*>(text.c_str());
    return Node(key, Bytes(t, t + (text.size() + 1) * sizeof(wchar_t)), static_cast<WORD>(text.size() + 1), 1,
                {});
}

Bytes VersionResource(const std::wstring& table, const std::vector<Bytes>& strings) {
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    const auto* f = reinterpret_cast<const char*>(&fixed);
    const Bytes stringFileInfo = Node(L"StringFileInfo", {}, 0, 1, {Node(table, {}, 0, 1, strings)});
    return Node(L"VS_VERSION_INFO", Bytes(f, f + sizeof fixed), sizeof fixed, 0, {stringFileInfo});
}

class VersionInfoWin : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        path_ = std::string(temp) + "tarnwick_vi_" + std::to_string(GetCurrentProcessId()) + ".exe";
        FreshCopy();
    }
    // This binary carries no version resource of its own.
    void FreshCopy() { ASSERT_TRUE(CopyFileA(ModuleFileName().c_str(), path_.c_str(), FALSE)); }
    void TearDown() override { DeleteFileA(path_.c_str()); }

    void PutVersionResource(const Bytes& resource) {
        HANDLE update = BeginUpdateResourceA(path_.c_str(), FALSE);
        ASSERT_NE(update, nullptr);
        ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(16) /* RT_VERSION */, MAKEINTRESOURCEA(1),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                    const_cast<char*>(resource.data()), static_cast<DWORD>(resource.size())));
        ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    }

    std::string path_;
};

} // namespace

TEST_F(VersionInfoWin, WithoutAResourceTheVersionIsZero) {
    EXPECT_EQ(ReadVersionInfo(path_), "0.0.0.0");
    EXPECT_EQ(ReadVersionInfo(path_ + ".missing"), "0.0.0.0");
}

TEST_F(VersionInfoWin, ReadsFileVersionOfTheUsEnglish1252Table) {
    struct Case {
        const char* name;
        std::wstring table;
        std::vector<Bytes> strings;
        const char* expected;
    };
    const Case cases[] = {
        {"present",
         L"040904E4",
         {String(L"CompanyName", L""), String(L"FileVersion", L"2.1.0.11"),
          String(L"ProductVersion", L"1.0.0.0")},
         "2.1.0.11"},
        {"other text kept",
         L"040904E4",
         {String(L"FileVersion", L"3.0 beta (build 7)")},
         "3.0 beta (build 7)"},
        {"string missing", L"040904E4", {String(L"ProductVersion", L"1.0.0.0")}, ""},
        {"empty string", L"040904E4", {String(L"FileVersion", L"")}, ""},
        {"only a Unicode table", L"040904B0", {String(L"FileVersion", L"9.9.9.9")}, ""},
    };
    for (const Case& c : cases) {
        FreshCopy();
        PutVersionResource(VersionResource(c.table, c.strings));
        EXPECT_EQ(ReadVersionInfo(path_), c.expected) << c.name;
    }
}
