#include "sequences/resume_record.h"

#include "common/text_case.h"

#include <algorithm>

namespace tarnwick {

std::vector<std::string> ResumeRecord::Paths() const {
    std::vector<std::string> paths;
    const std::string bytes = files_.ReadWholeFile(path_).value_or(std::string());
    // Lines end at CR, LF or both, the way a user's editor may have left them.
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
        if (end > at) paths.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    return paths;
}

Outcome ResumeRecord::Add(const std::string& vmPath) {
    std::vector<std::string> paths;
    try {
        paths = Paths();
    } catch (const IoError& e) {
        return Outcome::Failed(e.what());
    }
    if (std::any_of(paths.begin(), paths.end(),
                    [&](const std::string& p) { return SameTextIgnoringCase(p, vmPath); }))
        return Outcome::Done();
    std::string bytes;
    for (const std::string& p : paths)
        bytes += p + "\r\n";
    return writer_.ReplaceWholeFile(path_, bytes + vmPath + "\r\n");
}

bool ResumeRecord::Delete() {
    return files_.DeleteFile(path_) || !files_.FileExists(path_);
}

} // namespace tarnwick
