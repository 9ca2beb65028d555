// Standard output of QuillonCheck: the shared standard output, which keeps
// every character of a device name whether it reaches a console, a file or a pipe.
#include "check/output.h"

#include "framework/std_output.h"

void WriteOutput(std::wstring_view text) { WriteStandardOutput(text); }
