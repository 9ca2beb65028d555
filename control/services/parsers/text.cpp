#include "control/services/parsers/text.h"

#include <cwctype>

namespace quillon::control::text {
namespace {

bool Blank(wchar_t c) { return std::iswspace(static_cast<std::wint_t>(c)) != 0; }

} // namespace

std::wstring Trim(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && Blank(s[b]))
    ++b;
  while (e > b && Blank(s[e - 1]))
    --e;
  return std::wstring(s.substr(b, e - b));
}

std::vector<std::wstring> SplitList(std::wstring_view s, wchar_t separator) {
  std::vector<std::wstring> out;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(separator, start);
    out.push_back(Trim(s.substr(start, at == std::wstring_view::npos ? std::wstring_view::npos : at - start)));
    if (at == std::wstring_view::npos) return out;
    start = at + 1;
  }
}

bool ParseInteger(std::wstring_view text, long long &value) {
  if (text.empty() || text.size() > 20) return false;
  size_t i = 0;
  const bool negative = text[0] == L'-';
  if (text[0] == L'-' || text[0] == L'+') ++i;
  if (i == text.size()) return false;
  unsigned long long magnitude = 0;
  const unsigned long long limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
  for (; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c < L'0' || c > L'9') return false;
    const unsigned digit = static_cast<unsigned>(c - L'0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value = negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
  return true;
}

} // namespace quillon::control::text
