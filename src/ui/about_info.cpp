#include "ui/about_info.h"

#include "ui/version.h"

namespace tarnwick {

const char* const AboutCopyright = "Copyright (C) 2026 the Tarnwick developers";
const char* const AboutComments = "Free to use; provided as is, without warranty.";
const char* const HomePageAddress = "https://github.com/tarnwick/tarnwick";

std::string VersionText(bool hasVersionResource, const std::optional<std::string>& fileVersion) {
    if (!hasVersionResource) return "0.0.0.0";
    return fileVersion.value_or(std::string());
}

namespace {

// The resource compiler needs the version string spelt out beside the numbers; catch them drifting apart.
constexpr bool VersionStringMatches(const char* s, const int (&parts)[4]) {
    for (int i = 0; i < 4; ++i) {
        if (*s < '0' || *s > '9') return false;
        int n = 0;
        while (*s >= '0' && *s <= '9')
            n = n * 10 + (*s++ - '0');
        if (n != parts[i]) return false;
        if (*s != (i < 3 ? '.' : '\0')) return false;
        ++s;
    }
    return true;
}

constexpr int FileVersionParts[4] = {TARNWICK_VERSION_MAJOR, TARNWICK_VERSION_MINOR, TARNWICK_VERSION_PATCH,
                                     TARNWICK_VERSION_BUILD};
constexpr int ProductVersionParts[4] = {TARNWICK_PRODUCT_VERSION_MAJOR, TARNWICK_PRODUCT_VERSION_MINOR,
                                        TARNWICK_PRODUCT_VERSION_PATCH, TARNWICK_PRODUCT_VERSION_BUILD};
static_assert(VersionStringMatches(TARNWICK_FILE_VERSION_STR, FileVersionParts));
static_assert(VersionStringMatches(TARNWICK_PRODUCT_VERSION_STR, ProductVersionParts));

} // namespace

} // namespace tarnwick
