#include "app/args.h"

namespace tarnwick {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    const size_t n = line.size();
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (true) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i >= n) break;
        std::string word;
        bool quoted = false;
        // An unbalanced quote simply runs to the end of the line.
        while (i < n && (quoted || !isBlank(line[i]))) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                word += line[i];
            ++i;
        }
        words.push_back(std::move(word));
    }
    return words;
}

static char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int ParamIndex(const std::vector<std::string>& args, std::string_view name) {
    int found = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() != name.size() + 1 || a[0] != '/') continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k)
            same = AsciiUpper(a[k + 1]) == AsciiUpper(name[k]);
        if (same) found = static_cast<int>(i);
    }
    return found;
}

} // namespace tarnwick
