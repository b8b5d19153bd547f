#include "config/ini_file.h"

#include "common/text_case.h"
#include "config/integer_text.h"

#include <algorithm>
#include <type_traits>
#include <unordered_map>

namespace tarnwick {

namespace {

// Ill-formed input gives U+FFFD for each ill-formed part, cut the way the platform's converter cuts.
std::u16string DecodeUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        // The second byte's narrower range for some leads is checked only after it has been taken as
        // part of the sequence, so "E0 80" makes one U+FFFD, not two.
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        }
        ++i;
        bool ok = need > 0;
        for (int k = 0; k < need && ok; ++k) {
            const unsigned char c = i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
            if (c < 0x80 || c > 0xBF) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
            ++i;
            if (k == 0 && (c < lo || c > hi)) ok = false;
        }
        if (!ok) {
            out += char16_t{0xFFFD};
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::u16string DecodeUtf16(std::string_view s, bool bigEndian) {
    std::u16string out;
    out.reserve(s.size() / 2);
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
        out += static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    return out;
}

// ---- The line syntax, for 8-bit text and for decoded text alike.

template <class C> using View = std::basic_string_view<C>;

template <class C> unsigned Code(C c) {
    return static_cast<std::make_unsigned_t<C>>(c);
}

template <class C> bool IsBlank(C c) {
    const unsigned u = Code(c);
    return (u >= 9 && u <= 13) || u == 26 || u == 32;
}

template <class C> View<C> TrimLeft(View<C> v) {
    while (!v.empty() && IsBlank(v.front()))
        v.remove_prefix(1);
    return v;
}

template <class C> View<C> TrimRight(View<C> v) {
    while (!v.empty() && IsBlank(v.back()))
        v.remove_suffix(1);
    return v;
}

template <class C> View<C> Trim(View<C> v) {
    return TrimRight(TrimLeft(v));
}

template <class C> View<C> CutAtNul(View<C> v) {
    return v.substr(0, v.find(C(0)));
}

std::string_view CutAtNul(std::string_view v) {
    return v.substr(0, v.find('\0'));
}

unsigned AsciiLower(unsigned u) {
    return (u >= 'A' && u <= 'Z') ? u + 32 : u;
}

// The platform's profile reader matches names by ASCII letter case only, not by the letter-case rule of
// the rest of the program; it compares characters, so a trail byte is no letter.
void FoldAsciiLetters(std::string& text) {
    const AnsiCodePage& page = InstalledAnsiCodePage();
    for (size_t i = 0; i < text.size(); ++i) {
        if (page.IsLeadByte(text[i]))
            ++i;
        else
            text[i] = static_cast<char>(AsciiLower(static_cast<unsigned char>(text[i])));
    }
}

// A name asked for in 8-bit text, as it compares with stored names.
template <class C> std::basic_string<C> AskedName(std::string_view asked) {
    if constexpr (std::is_same_v<C, char>) {
        std::string name(asked);
        FoldAsciiLetters(name);
        return name;
    } else {
        std::u16string name = InstalledAnsiCodePage().ToWide(asked);
        for (char16_t& u : name)
            u = static_cast<char16_t>(AsciiLower(u));
        return name;
    }
}

// Stored names against a name from AskedName.
template <class C> bool SameName(View<C> stored, View<C> asked) {
    if (stored.size() != asked.size()) return false;
    for (size_t i = 0; i < stored.size(); ++i) {
        if constexpr (std::is_same_v<C, char>) {
            if (InstalledAnsiCodePage().IsLeadByte(stored[i])) {
                if (stored[i] != asked[i] || (i + 1 < stored.size() && stored[i + 1] != asked[i + 1]))
                    return false;
                ++i;
                continue;
            }
        }
        if (AsciiLower(Code(stored[i])) != Code(asked[i])) return false;
    }
    return true;
}

template <class C> std::string ToAnsi(View<C> v) {
    if constexpr (std::is_same_v<C, char>) {
        return std::string(v);
    } else {
        std::string out;
        InstalledAnsiCodePage().AppendAnsi(v, out);
        return out;
    }
}

// A stored name as a hash key matching names asked for, written into key; false when no 8-bit name
// can match it. The caller keeps one key string for a whole pass, so lines cost no allocation.
template <class C> bool LookupKey(View<C> stored, std::string& key) {
    key.clear();
    if constexpr (std::is_same_v<C, char>)
        key.assign(stored);
    else if (!InstalledAnsiCodePage().AppendAnsi(stored, key))
        return false;
    FoldAsciiLetters(key);
    return true;
}

// Names asked for are cut at a zero byte and trimmed like stored ones.
std::string_view TrimAsked(std::string_view name) {
    return Trim(CutAtNul(name));
}

template <class C> struct Line {
    bool header = false;
    View<C> name; // trimmed, not yet cut at a zero
    bool hasValue = false;
    View<C> value;
    View<C> whole; // the line, trimmed
};

template <class C> class LineScanner {
  public:
    explicit LineScanner(View<C> text) : text_(text) {}

    bool Next(Line<C>& line) {
        const size_t n = text_.size();
        while (pos_ < n) {
            const size_t start = pos_;
            while (pos_ < n && text_[pos_] != C('\n') && text_[pos_] != C('\r'))
                ++pos_;
            const size_t end = pos_;
            while (pos_ < n && (text_[pos_] == C('\n') || text_[pos_] == C('\r')))
                ++pos_;
            const View<C> raw = Trim(text_.substr(start, end - start));
            if (raw.empty()) continue;
            if (raw.front() == C('[')) {
                const size_t close = raw.rfind(C(']'));
                if (close != View<C>::npos) {
                    line = Line<C>{true, Trim(raw.substr(1, close - 1)), false, {}, raw};
                    return true;
                }
            }
            const size_t eq = raw.find(C('='));
            if (eq == View<C>::npos)
                line = Line<C>{false, raw, false, {}, raw};
            else
                line = Line<C>{false, TrimRight(raw.substr(0, eq)), true, TrimLeft(raw.substr(eq + 1)), raw};
            return true;
        }
        return false;
    }

  private:
    View<C> text_;
    size_t pos_ = 0;
};

// Calls onKey for each key line of the first section whose name satisfies matches (lines before any
// header form a section with an empty name). onKey returns false to stop.
template <class C, class Matches, class OnKey> void ForEachKey(View<C> text, Matches matches, OnKey onKey) {
    LineScanner<C> scanner(text);
    Line<C> line;
    bool inside = matches(View<C>{});
    bool found = inside;
    while (scanner.Next(line)) {
        if (line.header) {
            if (found) return;
            inside = found = matches(CutAtNul(line.name));
            continue;
        }
        if (inside && !onKey(line)) return;
    }
}

// What the value buffer receives: a quoted value loses its quotes. When the value just fills the
// buffer the platform drops the closing quote's neighbour instead; that is kept, for agreement.
template <class C> View<C> CopyValue(View<C> value, size_t bufferSize) {
    bool quoted = false;
    if (value.size() >= 2 && (value.front() == C('"') || value.front() == C('\'')) &&
        value.back() == value.front()) {
        quoted = true;
        value.remove_prefix(1);
    }
    View<C> out = value.substr(0, bufferSize - 1);
    if (quoted && bufferSize >= value.size() && !out.empty()) out.remove_suffix(1);
    return out;
}

template <class C>
std::vector<std::optional<std::string>> ValuesOf(View<C> text, std::string_view section,
                                                 const std::vector<std::string>& keys, size_t bufferSize) {
    std::vector<std::optional<std::string>> values(keys.size());
    // Lookup key -> its slot; several requests may share a slot.
    std::unordered_map<std::string, size_t> slots;
    slots.reserve(keys.size());
    std::vector<size_t> slotOf(keys.size());
    std::string key;
    for (size_t i = 0; i < keys.size(); ++i) {
        LookupKey(TrimAsked(keys[i]), key);
        slotOf[i] = slots.emplace(key, slots.size()).first->second;
    }
    std::vector<std::optional<std::string>> answers(slots.size());
    size_t waiting = slots.size();
    const std::basic_string<C> sectionAsked = AskedName<C>(TrimAsked(section));
    ForEachKey(
        text, [&](View<C> name) { return SameName(name, View<C>(sectionAsked)); },
        [&](const Line<C>& line) {
            if (!LookupKey(CutAtNul(line.name), key)) return true;
            auto it = slots.find(key);
            if (it == slots.end()) return true;
            // The first line with the key answers, even when it has no value.
            if (line.hasValue) answers[it->second] = ToAnsi(CopyValue(CutAtNul(line.value), bufferSize));
            slots.erase(it);
            return --waiting != 0;
        });
    for (size_t i = 0; i < keys.size(); ++i)
        values[i] = answers[slotOf[i]];
    return values;
}

template <class C> IniFile::KeyLines KeyLinesOf(View<C> text, std::string_view section) {
    const std::basic_string<C> asked = AskedName<C>(CutAtNul(section));
    IniFile::KeyLines out;
    ForEachKey(
        text, [&](View<C> name) { return SameName(name, View<C>(asked)); },
        [&](const Line<C>& line) {
            if (!line.hasValue) return true;
            const View<C> name = CutAtNul(line.name);
            if (name.empty()) {
                out.skipped.push_back(ToAnsi(line.whole));
                return true;
            }
            if (name.front() == C(';')) return true;
            std::string key;
            bool exact = true;
            if constexpr (std::is_same_v<C, char>)
                key.assign(name);
            else
                exact = InstalledAnsiCodePage().AppendAnsi(name, key);
            out.keys.push_back(std::move(key));
            out.inexact.push_back(!exact);
            return true;
        });
    return out;
}

} // namespace

IniFile::IniFile(std::string bytes) {
    const std::string_view s = bytes;
    if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding_ = Encoding::Wide;
        wide_ = DecodeUtf8(s.substr(3));
    } else if (s.size() >= 2 && (s.substr(0, 2) == "\xFF\xFE" || s.substr(0, 2) == "\xFE\xFF")) {
        encoding_ = Encoding::Wide;
        wide_ = DecodeUtf16(s.substr(2), s[0] == '\xFE');
    } else {
        bytes_ = std::move(bytes);
    }
}

IniFile::KeyLines IniFile::ReadKeyLines(std::string_view section) const {
    return encoding_ == Encoding::Bytes ? KeyLinesOf<char>(bytes_, section)
                                        : KeyLinesOf<char16_t>(wide_, section);
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key,
                                          size_t bufferSize) const {
    if (bufferSize == 0) return std::nullopt;
    const std::vector<std::string> keys{std::string(key)};
    return (encoding_ == Encoding::Bytes ? ValuesOf<char>(bytes_, section, keys, bufferSize)
                                         : ValuesOf<char16_t>(wide_, section, keys, bufferSize))
        .front();
}

std::vector<std::optional<std::string>> IniFile::Values(std::string_view section,
                                                        const std::vector<std::string>& keys) const {
    return encoding_ == Encoding::Bytes ? ValuesOf<char>(bytes_, section, keys, ValueBufferSize)
                                        : ValuesOf<char16_t>(wide_, section, keys, ValueBufferSize);
}

bool IniBoolean(const std::optional<std::string>& value) {
    if (!value) return false;
    std::string text = *value;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
    const std::optional<int32_t> number = ParseInteger(text);
    return number && *number != 0;
}

const char* StopActionWord(StopAction action) {
    switch (action) {
    case StopAction::ShutDown:
        return "shutdown";
    case StopAction::Leave:
        return "leave";
    case StopAction::Suspend:
        break;
    }
    return nullptr;
}

std::optional<StopAction> StopActionFromWord(std::string_view word) {
    for (const StopAction action : {StopAction::ShutDown, StopAction::Leave}) {
        const std::string_view known = StopActionWord(action);
        if (word.size() == known.size() &&
            std::equal(word.begin(), word.end(), known.begin(),
                       [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a + 32) : a) == b; }))
            return action;
    }
    return std::nullopt;
}

std::string FormatConfigFile(bool bkpAll, bool useSnapshot, const std::vector<ControlEntry>& entries,
                             const std::optional<std::string>& toolTimeout, std::optional<bool> resumeOthers,
                             const std::optional<std::string>& parallelSuspend,
                             const std::optional<std::string>& backupKeep) {
    auto flag = [](bool on) { return on ? "-1" : "0"; };
    std::string out;
    size_t size = 64;
    for (const ControlEntry& entry : entries)
        size += entry.text.size() + 9;
    out.reserve(size);
    out += "[Options]\r\n";
    out += "  BkpAll = ";
    out += flag(bkpAll);
    out += "\r\n  UseSnapshot = ";
    out += flag(useSnapshot);
    if (resumeOthers) {
        out += "\r\n  ResumeOthers = ";
        out += flag(*resumeOthers);
    }
    if (toolTimeout) {
        out += "\r\n  ToolTimeout = ";
        out += *toolTimeout;
    }
    if (parallelSuspend) {
        out += "\r\n  ParallelSuspend = ";
        out += *parallelSuspend;
    }
    if (backupKeep) {
        out += "\r\n  BackupKeep = ";
        out += *backupKeep;
    }
    out += "\r\n[Control]\r\n";
    for (const ControlEntry& entry : entries) {
        out += "  ";
        out += entry.text;
        out += " = ";
        out += flag(entry.enabled);
        out += "\r\n";
    }
    bool header = false;
    for (const ControlEntry& entry : entries) {
        const char* word = StopActionWord(entry.action);
        if (!word) continue;
        if (!header) out += "[StopAction]\r\n";
        header = true;
        out += "  ";
        out += entry.text;
        out += " = ";
        out += word;
        out += "\r\n";
    }
    return out;
}

} // namespace tarnwick
