#ifndef TARNWICK_COMMON_PRODUCT_H
#define TARNWICK_COMMON_PRODUCT_H
/* The program's name and version, the one place they are written down. Read by C++, by the resource
   compiler and by CMake (which fills the manifest from the version lines), so only plain #defines. */

#define TARNWICK_PROGRAM_NAME "Tarnwick"

#define TARNWICK_VERSION_MAJOR 2
#define TARNWICK_VERSION_MINOR 1
#define TARNWICK_VERSION_PATCH 0
#define TARNWICK_VERSION_BUILD 11

#define TARNWICK_PRODUCT_VERSION_MAJOR 1
#define TARNWICK_PRODUCT_VERSION_MINOR 0
#define TARNWICK_PRODUCT_VERSION_PATCH 0
#define TARNWICK_PRODUCT_VERSION_BUILD 0

/* "2.1.0.11": the numbers spelt out, for the version resource's strings. */
#define TARNWICK_STRINGIZE_(x) #x
#define TARNWICK_STRINGIZE(x) TARNWICK_STRINGIZE_(x)
#define TARNWICK_DOTTED(a, b, c, d)                                                                          \
    TARNWICK_STRINGIZE(a) "." TARNWICK_STRINGIZE(b) "." TARNWICK_STRINGIZE(c) "." TARNWICK_STRINGIZE(d)
#define TARNWICK_FILE_VERSION_STR                                                                            \
    TARNWICK_DOTTED(TARNWICK_VERSION_MAJOR, TARNWICK_VERSION_MINOR, TARNWICK_VERSION_PATCH,                  \
                    TARNWICK_VERSION_BUILD)
#define TARNWICK_PRODUCT_VERSION_STR                                                                         \
    TARNWICK_DOTTED(TARNWICK_PRODUCT_VERSION_MAJOR, TARNWICK_PRODUCT_VERSION_MINOR,                          \
                    TARNWICK_PRODUCT_VERSION_PATCH, TARNWICK_PRODUCT_VERSION_BUILD)

#ifndef RC_INVOKED
namespace tarnwick {
// Message box titles, window captions and the About box's name.
inline constexpr const char* ProgramName = TARNWICK_PROGRAM_NAME;
} // namespace tarnwick
#endif

#endif
