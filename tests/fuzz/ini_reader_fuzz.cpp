// The configuration reader on arbitrary bytes: bounded answers, bulk and single lookups agreeing, and
// a list saved from what was read reading back the same.
#include "config/control_list.h"
#include "config/ini_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

using namespace tarnwick;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 9 && u <= 13) || u == 26 || u == 32;
}

// Texts that a save and a load give back unchanged.
bool Survives(const std::string& text) {
    return !text.empty() && !IsBlank(text.front()) && !IsBlank(text.back()) && text.front() != ';' &&
           text.front() != '[' && text.find_first_of(std::string("=\r\n\0", 4)) == std::string::npos;
}

std::string AsciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const IniFile ini(std::string(reinterpret_cast<const char*>(data), size));

    for (const char* section : {"Control", "Options"}) {
        const IniFile::KeyLines lines = ini.ReadKeyLines(section);
        const std::vector<std::string>& all = lines.keys;
        Check(lines.inexact.size() == all.size());
        for (const std::string& key : all)
            Check(!key.empty() && key.front() != ';' && key.find('\0') == std::string::npos);

        const std::vector<std::optional<std::string>> values = ini.Values(section, all);
        Check(values.size() == all.size());
        for (size_t i = 0; i < all.size() && i < 8; ++i)
            Check(ini.Value(section, all[i]) == values[i]);
        for (const auto& v : values)
            Check(v.value_or("").size() < ValueBufferSize);

        if (std::string(section) != "Control") continue;
        std::vector<ControlEntry> entries;
        std::unordered_set<std::string> seen;
        for (size_t i = 0; i < all.size(); ++i)
            if (Survives(all[i]) && all[i].size() <= MaxEntryText && seen.insert(AsciiLower(all[i])).second)
                entries.push_back({all[i], IniBoolean(values[i])});
        const IniFile again(FormatConfigFile(true, false, entries));
        std::vector<std::string> texts;
        for (const ControlEntry& entry : entries)
            texts.push_back(entry.text);
        Check(again.ReadKeyLines("Control").keys == texts);
        const std::vector<std::optional<std::string>> flags = again.Values("Control", texts);
        for (size_t i = 0; i < entries.size(); ++i)
            Check(IniBoolean(flags[i]) == entries[i].enabled);
        Check(IniBoolean(again.Value("Options", "BkpAll")));

        ControlList list;
        list.Assign(entries);
        Check(list.Count() <= entries.size());
        for (const ControlEntry& entry : entries)
            Check(list.Contains(entry.text));
    }
    return 0;
}
