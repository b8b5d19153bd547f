#include "ui/about_info.h"

namespace tarnwick {

const char* const AboutCopyright = "Copyright (C) 2026 the Tarnwick developers";
const char* const AboutComments = "MIT License; provided as is, without warranty.";
const char* const HomePageAddress = "https://github.com/tarnwick/tarnwick";

std::string VersionText(bool hasVersionResource, const std::optional<std::string>& fileVersion) {
    if (!hasVersionResource) return "0.0.0.0";
    return fileVersion.value_or(std::string());
}

} // namespace tarnwick
