#include "hypervisor/win32/registry_reader.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

const char* const kKey = "SOFTWARE\\Tarnwick Registry Test";

REGSAM ViewFlag(RegistryView view) {
    return view == RegistryView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

class RegistryReaderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const RegistryView view : {RegistryView::Bits32, RegistryView::Bits64}) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                      KEY_ALL_ACCESS | ViewFlag(view), nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            const std::string own = view == RegistryView::Bits32 ? "C:\\W32\\" : "C:\\W64\\";
            Set(key, "InstallPath", REG_SZ, own.c_str(), own.size() + 1);
            if (view == RegistryView::Bits32) {
                const DWORD number = 5;
                Set(key, "Dword", REG_DWORD, &number, sizeof number);
                Set(key, "Binary", REG_BINARY, "C:\\", 3);
                Set(key, "Multi", REG_MULTI_SZ, "C:\\\0D:\\\0", 8);
                Set(key, "Expand", REG_EXPAND_SZ, "%ProgramFiles%\\VMware\\", 23);
                Set(key, "NoTerminator", REG_SZ, "C:\\VM\\", 6);
                Set(key, "InnerNul", REG_SZ, "C:\\A\\\0B", 8);
                Set(key, "Empty", REG_SZ, "", 1);
                const std::string longText(3000, 'x');
                Set(key, "Long", REG_SZ, longText.c_str(), longText.size() + 1);
            }
            RegCloseKey(key);
        }
    }
    static void TearDownTestSuite() {
        for (const RegistryView view : {RegistryView::Bits32, RegistryView::Bits64})
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, ViewFlag(view), 0);
    }
    static void Set(HKEY key, const char* name, DWORD type, const void* data, size_t size) {
        ASSERT_EQ(
            RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
            ERROR_SUCCESS);
    }
    win32::Registry registry;
};

TEST_F(RegistryReaderTest, EachViewIsReadOnItsOwn) {
    EXPECT_EQ(registry.ReadMachineString(RegistryView::Bits32, kKey, "InstallPath"), "C:\\W32\\");
    EXPECT_EQ(registry.ReadMachineString(RegistryView::Bits64, kKey, "InstallPath"), "C:\\W64\\");
    EXPECT_EQ(registry.ReadMachineString(RegistryView::Bits64, kKey, "Dword"), std::nullopt);
}

TEST_F(RegistryReaderTest, StringValues) {
    struct Case {
        const char* name;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"Expand", "%ProgramFiles%\\VMware\\"}, // as stored, not expanded
        {"NoTerminator", "C:\\VM\\"},           {"InnerNul", "C:\\A\\"},   {"Empty", ""},
        {"Long", std::string(3000, 'x')},       {"Missing", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(registry.ReadMachineString(RegistryView::Bits32, kKey, c.name), c.expected) << c.name;
    EXPECT_EQ(
        registry.ReadMachineString(RegistryView::Bits32, "SOFTWARE\\Tarnwick No Such Key", "InstallPath"),
        std::nullopt);
}

TEST_F(RegistryReaderTest, NonStringValueIsAnError) {
    for (const char* name : {"Dword", "Binary", "Multi"}) {
        try {
            registry.ReadMachineString(RegistryView::Bits32, kKey, name);
            ADD_FAILURE() << name << " read without error";
        } catch (const RegistryDataError& error) {
            EXPECT_EQ(std::string(error.what()), std::string("Invalid data type for '") + name + "'");
        }
    }
}

} // namespace
