// Text to standard output that arrives whole whatever it holds: through the
// console's wide-character interface when standard output is a console, and
// as UTF-8 (no byte-order mark) when it is a file or a pipe. The C runtime's
// own narrow output would turn every character outside the C locale into a
// byte of the wrong code page, or drop it.
#pragma once

#include <string>
#include <string_view>

// Writes the text; line ends follow the runtime's text mode ("\n" reaches a
// file as CR LF), exactly as the runtime's formatted output writes them.
void WriteStandardOutput(std::wstring_view text);

// Formats as the standard's swprintf does (%ls takes a wide string, %d an
// int, %lld a long long) and writes the result as WriteStandardOutput does.
void PrintStandardOutput(const wchar_t *format, ...);

// The same for standard error.
void PrintStandardError(const wchar_t *format, ...);

// The UTF-8 bytes of a wide string; an unpaired surrogate becomes U+FFFD.
std::string Utf8(std::wstring_view text);
