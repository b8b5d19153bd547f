// The configuration reader against the platform's own profile reader, on many generated files.
#include <windows.h>

#include "common/win32/system_code_page.h"
#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace tarnwick;

namespace {

std::string Escaped(std::string_view s, size_t max = 400) {
    std::string out;
    for (size_t i = 0; i < s.size() && i < max; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            wsprintfA(hex, "\\x%02x", c);
            out += hex;
        }
    }
    if (s.size() > max) out += "...(" + std::to_string(s.size()) + " bytes)";
    return out;
}

template <size_t N> std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

class Workspace {
  public:
    Workspace() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "tarnwick-ini-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(dir_.c_str(), nullptr);
    }
    ~Workspace() { RemoveDirectoryA(dir_.c_str()); }
    // A new name for every file: the platform caches profiles by name.
    std::string NextPath() { return dir_ + "case" + std::to_string(++counter_) + ".ini"; }

  private:
    std::string dir_;
    int counter_ = 0;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_EQ(written, bytes.size());
}

// The buffer up to and including the zero byte at the reported length.
std::string PlatformKeyList(const std::string& path, const std::string& section, size_t size) {
    std::vector<char> buffer(size + 16, '\x55');
    const DWORD n = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                             static_cast<DWORD>(size), path.c_str());
    return std::string(buffer.data(), n + 1);
}

// The platform's key list through a buffer no generated file fills, up to its first empty key.
std::vector<std::string> PlatformKeys(const std::string& path, const std::string& section) {
    const std::string buffer = PlatformKeyList(path, section, 1 << 20);
    std::vector<std::string> keys;
    for (size_t pos = 0; pos + 1 < buffer.size();) {
        const size_t end = buffer.find('\0', pos);
        if (end == pos) break;
        keys.emplace_back(buffer, pos, end - pos);
        pos = end + 1;
    }
    return keys;
}

std::string Escaped(const std::vector<std::string>& keys) {
    std::string joined;
    for (const std::string& key : keys)
        joined += key + '|';
    return Escaped(joined);
}

std::string PlatformValue(const std::string& path, const std::string& section, const std::string& key,
                          size_t size) {
    std::vector<char> buffer(size + 16, '\x55');
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                             static_cast<DWORD>(size), path.c_str());
    return std::string(buffer.data(), n);
}

// ---- The generator: fragments that touch every reading rule, joined at random.

class Generator {
  public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool Chance(int percent) { return Below(100) < static_cast<size_t>(percent); }
    template <class T> const T& Pick(const std::vector<T>& v) { return v[Below(v.size())]; }

    std::string Blank() {
        static const std::vector<std::string> blanks = {"",     "",     "",     " ",  "  ", "\t",
                                                        " \t ", "\x1a", "\xa0", "\v", "\f"};
        return Pick(blanks);
    }

    std::string LineEnd() {
        static const std::vector<std::string> ends = {"\r\n",   "\r\n", "\r\n", "\n",      "\r",
                                                      "\r\r\n", "\n\r", "\n\n", "\r\n\r\n"};
        return Pick(ends);
    }

    std::string Header() {
        static const std::vector<std::string> headers = {"[Control]",
                                                         "[control]",
                                                         "[CONTROL]",
                                                         "[ Control ]",
                                                         "[\tControl\t]",
                                                         "[Options]",
                                                         "[options]",
                                                         "[Other]",
                                                         "[]",
                                                         "[ ]",
                                                         "[Control",
                                                         "[Control] tail",
                                                         "[Con]trol]",
                                                         "[Control]]",
                                                         Bytes("[Control\0x]"),
                                                         Bytes("[\0Control]"),
                                                         Bytes("[Control \0 ]"),
                                                         "[Cont rol]",
                                                         "[Control ;]"};
        return Pick(headers);
    }

    std::string Key() {
        static const std::vector<std::string> keys = {"a",
                                                      "A",
                                                      "b",
                                                      "BkpAll",
                                                      "bkpall",
                                                      "UseSnapshot",
                                                      "USESNAPSHOT",
                                                      "C:\\VMs\\x.vmx",
                                                      "c:\\vms\\X.VMX",
                                                      "C:\\VMs\\t.vmtm",
                                                      "PROMPT:",
                                                      "DELAY:10",
                                                      "DELAY: 5",
                                                      "x y",
                                                      ";comment",
                                                      "; a",
                                                      "#hash",
                                                      "\xe9t\xe9",
                                                      "\xc9T\xc9",
                                                      "\x8a",
                                                      "\x9a",
                                                      "[notsection",
                                                      "\"quoted\"",
                                                      "'q'",
                                                      "k\"",
                                                      "abc"};
        std::string k = Pick(keys);
        if (Chance(4)) k.insert(Below(k.size() + 1), 1, '\0');
        if (Chance(3)) k = std::string(Below(300) + 1, 'k');
        return k;
    }

    std::string Value() {
        static const std::vector<std::string> values = {
            "-1",    "0",   "1", "7",     "0x10",      "0X1f",    "true",     "yes",  "\"-1\"",
            "'0'",   "\"",  "'", "\"\"",  "''",        "\" x \"", "\"a\"b\"", "\"a'", "",
            "  7  ", "a=b", "=", "x ; y", "$FFFFFFFF", " \"",     "\"q\" "};
        std::string v = Pick(values);
        if (Chance(5)) {
            // Around the value buffer's edge, sometimes quoted.
            const size_t n = 2040 + Below(14);
            v = Chance(50) ? "\"" + std::string(n, 'v') + "\"" : std::string(n, 'v');
        }
        if (Chance(4)) v.insert(Below(v.size() + 1), 1, '\0');
        return v;
    }

    std::string Equals() {
        static const std::vector<std::string> eq = {"=", " = ", "\t=\t", "  =", "= ", "=\x1a"};
        return Pick(eq);
    }

    std::string RandomBytes(size_t n, bool withZeros) {
        std::string s(n, '\0');
        for (char& c : s) {
            c = static_cast<char>(Below(256));
            if (!withZeros && c == '\0') c = '\x01';
        }
        return s;
    }

    std::string Line() {
        switch (Below(14)) {
        case 0:
            return Blank() + Header() + Blank();
        case 1:
            return Blank() + Key() + Blank(); // no "="
        case 2:
            return Blank() + Equals() + Value();
        case 3:
            return Blank();
        case 4:
            return RandomBytes(Below(20) + 1, Chance(50));
        default:
            return Blank() + Key() + Equals() + Value() + Blank();
        }
    }

    std::string File() {
        std::string s;
        if (Chance(70)) s += Header() + LineEnd();
        const size_t lines = Below(30);
        for (size_t i = 0; i < lines; ++i)
            s += Line() + (i + 1 < lines || Chance(70) ? LineEnd() : "");
        return s;
    }

  private:
    std::mt19937 rng_;
};

struct Counts {
    int files = 0, lookups = 0;
};

// Compares everything the loader relies on, for one file; reports at most a few differences.
void CompareFile(Workspace& ws, const std::string& bytes, Generator& gen, Counts& counts,
                 bool sampleLookups = false) {
    const std::string path = ws.NextPath();
    WriteBytes(path, bytes);
    const IniFile mine(bytes);
    ++counts.files;
    SCOPED_TRACE("file: " + Escaped(bytes));

    for (const char* section : {"Control", "Options", "control", "Other", "Cont rol"}) {
        const IniFile::KeyLines lines = mine.ReadKeyLines(section);
        const std::vector<std::string> platform = PlatformKeys(path, section);
        // The platform's list ends at a line with an empty key, which the program skips to read on.
        if (lines.skipped.empty()) {
            EXPECT_TRUE(lines.keys == platform)
                << "section " << section << ": " << Escaped(lines.keys) << " against " << Escaped(platform);
        } else {
            EXPECT_TRUE(platform.size() <= lines.keys.size() &&
                        std::equal(platform.begin(), platform.end(), lines.keys.begin()))
                << "section " << section << ": " << Escaped(lines.keys) << " does not start with "
                << Escaped(platform);
        }

        std::vector<std::string> keys = lines.keys;
        if (sampleLookups && keys.size() > 40) {
            std::vector<std::string> sample;
            for (int i = 0; i < 40; ++i)
                sample.push_back(keys[gen.Below(keys.size())]);
            keys = sample;
        }
        // Names the list never shows still have answers: other letter case, blanks, unlisted lines.
        for (const char* extra :
             {"a", "A ", " b", "BKPALL", "usesnapshot", ";comment", "#hash", "abc", "x y"})
            keys.push_back(extra);
        const std::vector<std::optional<std::string>> values = mine.Values(section, keys);
        for (size_t i = 0; i < keys.size(); ++i) {
            ++counts.lookups;
            EXPECT_EQ(Escaped(values[i].value_or("")),
                      Escaped(PlatformValue(path, section, keys[i], ValueBufferSize)))
                << "section " << section << ", key " << Escaped(keys[i]);
            if (gen.Chance(10)) {
                const size_t small = 1 + gen.Below(12);
                EXPECT_EQ(Escaped(mine.Value(section, keys[i], small).value_or("")),
                          Escaped(PlatformValue(path, section, keys[i], small)))
                    << "section " << section << ", key " << Escaped(keys[i]) << ", buffer " << small;
            }
        }
    }
    DeleteFileA(path.c_str());
}

// The reader as the program runs it: with the system's code page installed.
class IniDifferential : public testing::Test {
  protected:
    void SetUp() override {
        before_ = InstalledAnsiCodePage();
        win32::InstallSystemCodePage();
    }
    void TearDown() override { InstallAnsiCodePage(std::move(before_)); }

  private:
    AnsiCodePage before_;
};

} // namespace

TEST_F(IniDifferential, GeneratedFilesReadAsThePlatformReadsThem) {
    Workspace ws;
    Generator gen(20240601);
    Counts counts;
    // Each reading rule broken on purpose (blanks, brackets, the first "=", ";" keys, empty keys, repeated
    // sections, quotes, letter case, zero bytes, line ends, the buffers' edges) failed within the first
    // 100 of these files; 400 keep a margin, at a quarter of the time of 1500.
    for (int i = 0; i < 400 && !HasFailure(); ++i)
        CompareFile(ws, gen.File(), gen, counts);
    std::printf("[          ] %d files, %d lookups\n", counts.files, counts.lookups);
}

TEST_F(IniDifferential, BinaryGarbage) {
    Workspace ws;
    Generator gen(77);
    Counts counts;
    for (int i = 0; i < 300 && !HasFailure(); ++i) {
        std::string bytes = gen.RandomBytes(gen.Below(400), gen.Chance(50));
        // Garbage with headers strewn in gives the sections something to hold.
        if (gen.Chance(50)) bytes.insert(gen.Below(bytes.size() + 1), "\r\n[Control]\r\n");
        CompareFile(ws, bytes, gen, counts);
    }
}

// Lists longer than the platform's usual key-list buffer of 16 KiB.
TEST_F(IniDifferential, LongKeyLists) {
    Workspace ws;
    Generator gen(5);
    Counts counts;
    for (size_t keyLength : {1u, 7u, 13u, 100u, 4095u, 16381u, 16382u, 16383u, 20000u}) {
        std::string bytes = "[Control]\r\n";
        for (size_t total = 0; total < 20000; total += keyLength + 1) {
            std::string key = std::to_string(total);
            key.resize(std::max(key.size(), keyLength), 'k');
            bytes += "  " + key + " = -1\r\n";
        }
        SCOPED_TRACE("key length " + std::to_string(keyLength));
        CompareFile(ws, bytes, gen, counts, true);
    }
}

TEST_F(IniDifferential, MissingAndEmptyFiles) {
    Workspace ws;
    const std::string missing = ws.NextPath();
    EXPECT_TRUE(PlatformKeys(missing, "Control").empty());
    EXPECT_TRUE(IniFile().ReadKeyLines("Control").keys.empty());
    EXPECT_EQ(PlatformValue(missing, "Options", "BkpAll", ValueBufferSize), "");
    EXPECT_FALSE(IniFile().Value("Options", "BkpAll").has_value());

    Generator gen(1);
    Counts counts;
    CompareFile(ws, "", gen, counts);
}

TEST_F(IniDifferential, TextWithAByteOrderMark) {
    Workspace ws;
    Generator gen(9);
    Counts counts;
    const std::vector<std::string> cases = {
        "\xEF\xBB\xBF[Control]\r\n\xC3\xA9=1\r\n\xE2\x82\xAC=2\r\n\xE4\xB8\x80=3\r\n\xC3\x89=4\r\n",
        "\xEF\xBB\xBF[Control]\r\nbad\xC3=1\r\nbad\xE2\x82=2\r\nx\xF0\x9F\x98\x80y=3\r\n\xED\xA0\x80="
        "4\r\n\xC0\xAF=5\r\n",
        "\xEF\xBB\xBF[Control]\r\n\xF4\x90\x80\x80=1\r\n\xF5=2\r\n\xE0\x80\x80=3\r\n\x80\x80=4\r\n\xC2\xA0k="
        "5\r\n",
        Bytes("\xFF\xFE[\0C\0o\0n\0t\0r\0o\0l\0]\0\r\0\n\0a\0=\0\x31\0\r\0\n\0\xAC\x20=\0\x32\0"),
        Bytes("\xFE\xFF\0[\0C\0o\0n\0t\0r\0o\0l\0]\0\r\0\n\0a\0=\0\x31\0\xD8\x3D\xDE\x00=\0\x32"),
        "\xFF\xFE",
        "\xEF\xBB\xBF",
    };
    for (const std::string& bytes : cases)
        CompareFile(ws, bytes, gen, counts);
    for (int i = 0; i < 100 && !HasFailure(); ++i) {
        static const char* const marks[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
        const size_t mark = gen.Below(3);
        std::string bytes = marks[mark];
        // An odd byte at the end of UTF-16 text makes the platform read past its buffer; not comparable.
        bytes += gen.RandomBytes(mark == 0 ? gen.Below(200) : 2 * gen.Below(100), true);
        CompareFile(ws, bytes, gen, counts);
    }
}
