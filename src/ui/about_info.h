#pragma once
// The About box's texts, apart from the window that shows them.
#include <optional>
#include <string>

namespace tarnwick {

extern const char* const AboutCopyright;
extern const char* const AboutComments;
extern const char* const HomePageAddress;

// The version the About box shows: "0.0.0.0" when the executable carries no version resource, empty
// when its resource lacks the FileVersion string (fileVersion nullopt).
std::string VersionText(bool hasVersionResource, const std::optional<std::string>& fileVersion);

} // namespace tarnwick
