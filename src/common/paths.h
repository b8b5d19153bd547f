#pragma once
// Windows paths as 8-bit text: the one rule for where the directory part ends.
#include <string>
#include <string_view>

namespace tarnwick {

// Everything up to and including the last '\' or ':'; empty when there is neither.
inline std::string_view DirectoryPart(std::string_view path) {
    const size_t cut = path.find_last_of("\\:");
    return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1);
}

// What follows the directory part: the file name, or the whole text when there is no directory part.
inline std::string_view FileNamePart(std::string_view path) {
    return path.substr(DirectoryPart(path).size());
}

} // namespace tarnwick
