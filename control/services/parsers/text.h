// Small pieces of text handling shared by the device's request parsers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::control::text {

// Without leading and trailing white space.
std::wstring Trim(std::wstring_view s);
// The pieces between separators, each trimmed; one piece for a text without
// any, an empty piece for an empty text.
std::vector<std::wstring> SplitList(std::wstring_view s, wchar_t separator);
// A whole decimal number with an optional sign, in 64 bits; false for
// anything else (blanks, other characters, out of range, empty).
bool ParseInteger(std::wstring_view text, long long &value);

} // namespace quillon::control::text
