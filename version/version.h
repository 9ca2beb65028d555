// The product's version and names: every binary's version resource, the About
// box, the manifest and the installer packages read them from here. Holds
// #defines only, since the resource compiler, CMake and scripts/package.sh
// read it too.
//
// The version scheme: MAJOR.MINOR.BUILD names a release, and every release
// differs from the one before in these three fields, because Windows Installer
// compares only them (a package of 1.1.0.6 took an installed 1.1.0.7 for its
// own release and replaced it). REVISION counts the builds of one release,
// from 1; the packages replace any installed build of their release or an
// older one, and refuse to replace a newer release. 1.1.7 is the release after
// 1.1.0.6, the last one numbered in the fourth field.
#pragma once

#define QUILLON_VERSION_MAJOR 1
#define QUILLON_VERSION_MINOR 1
#define QUILLON_VERSION_BUILD 7
#define QUILLON_VERSION_REVISION 1

#define QUILLON_PRODUCT_NAME "Quillon"
#define QUILLON_COMPANY_NAME "Quillon developers"
#define QUILLON_COPYRIGHT "Published by the Quillon developers, 2026"

#define QUILLON_STRINGIZE_(x) #x
#define QUILLON_STRINGIZE(x) QUILLON_STRINGIZE_(x)
// "1.1.7.1"
#define QUILLON_VERSION_TEXT                                                                                           \
  QUILLON_STRINGIZE(QUILLON_VERSION_MAJOR)                                                                             \
  "." QUILLON_STRINGIZE(QUILLON_VERSION_MINOR) "." QUILLON_STRINGIZE(QUILLON_VERSION_BUILD) "." QUILLON_STRINGIZE(     \
      QUILLON_VERSION_REVISION)
