// The product's version and names: every binary's version resource, the About
// box, the manifest and the installer packages read them from here. Holds
// #defines only, since the resource compiler, CMake and scripts/package.sh
// read it too.
#pragma once

#define QUILLON_VERSION_MAJOR 1
#define QUILLON_VERSION_MINOR 1
#define QUILLON_VERSION_BUILD 0
#define QUILLON_VERSION_REVISION 6

#define QUILLON_PRODUCT_NAME "Quillon"
#define QUILLON_COMPANY_NAME "Quillon developers"
#define QUILLON_COPYRIGHT "Published by the Quillon developers, 2026"

#define QUILLON_STRINGIZE_(x) #x
#define QUILLON_STRINGIZE(x) QUILLON_STRINGIZE_(x)
// "1.1.0.6"
#define QUILLON_VERSION_TEXT                                                                                           \
  QUILLON_STRINGIZE(QUILLON_VERSION_MAJOR)                                                                             \
  "." QUILLON_STRINGIZE(QUILLON_VERSION_MINOR) "." QUILLON_STRINGIZE(QUILLON_VERSION_BUILD) "." QUILLON_STRINGIZE(     \
      QUILLON_VERSION_REVISION)
