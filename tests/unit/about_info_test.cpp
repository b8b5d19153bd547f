#include "ui/about_info.h"

#include <gtest/gtest.h>

using tarnwick::VersionText;

TEST(AboutInfo, VersionTextFallbacks) {
    struct Case {
        bool hasResource;
        std::optional<std::string> fileVersion;
        const char* expected;
    };
    const Case cases[] = {
        {true, "2.1.0.11", "2.1.0.11"},
        {true, "3.0 beta", "3.0 beta"},
        {true, std::nullopt, ""}, // the resource lacks the string
        {true, "", ""},
        {false, std::nullopt, "0.0.0.0"},
        {false, "9.9.9.9", "0.0.0.0"}, // without a resource nothing else counts
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionText(c.hasResource, c.fileVersion), c.expected) << c.fileVersion.value_or("(none)");
}
