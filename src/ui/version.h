#ifndef TARNWICK_UI_VERSION_H
#define TARNWICK_UI_VERSION_H
/* The program's version, the one place it is written down. Read by C++ and by the resource compiler,
   so only plain #defines here. */

#define TARNWICK_VERSION_MAJOR 2
#define TARNWICK_VERSION_MINOR 1
#define TARNWICK_VERSION_PATCH 0
#define TARNWICK_VERSION_BUILD 11
/* The resource compiler cannot join numbers into a string: keep this in step with the four above. */
#define TARNWICK_FILE_VERSION_STR "2.1.0.11"

#define TARNWICK_PRODUCT_VERSION_MAJOR 1
#define TARNWICK_PRODUCT_VERSION_MINOR 0
#define TARNWICK_PRODUCT_VERSION_PATCH 0
#define TARNWICK_PRODUCT_VERSION_BUILD 0
#define TARNWICK_PRODUCT_VERSION_STR "1.0.0.0"

#endif
