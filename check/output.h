// The program's standard output: every line QuillonCheck prints goes through
// WriteOutput, so that one function decides how text reaches a console, a
// file or a pipe.
#pragma once

#include <string_view>

void WriteOutput(std::wstring_view text);
