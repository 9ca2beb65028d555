// Screenshots of the virtual X screen the tests and tools run on, taken with
// ImageMagick's import (Wine runs a Unix program started by its path as it
// is). Nothing happens where import is missing.
#pragma once

#include <windows.h>

#include <string>

// Writes the screen, or the part of it that crop covers (screen coordinates;
// Wine's screen is the X screen), as a PNG to unixPath and waits until the
// file is complete. False when no file was written.
bool TakeScreenshot(const std::string &unixPath, const RECT *crop = nullptr);
