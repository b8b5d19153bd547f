#include "driver.h"

#include <gtest/gtest.h>

#include <cstring>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--tarnwick=", 11) == 0) e2e::Settings().tarnwickExe = argv[i] + 11;
        if (std::strncmp(argv[i], "--tools=", 8) == 0) e2e::Settings().toolsDir = argv[i] + 8;
        if (std::strncmp(argv[i], "--small-fs=", 11) == 0) e2e::Settings().smallFsDir = argv[i] + 11;
        if (std::strncmp(argv[i], "--installer=", 12) == 0) e2e::Settings().installer = argv[i] + 12;
    }
    if (e2e::Settings().tarnwickExe.empty()) {
        std::fprintf(stderr, "usage: tarnwick_e2e --tarnwick=<Tarnwick.exe> [--tools=<build/tools>] "
                             "[--small-fs=<dir>] [--installer=<setup.exe>]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
