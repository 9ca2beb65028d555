#include "cstring.h"

#include <cstdio>
#include <vector>

void CString::Format(const wchar_t *pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  FormatV(pszFormat, args);
  va_end(args);
}

void CString::FormatV(const wchar_t *pszFormat, va_list args) {
  // _vsnwprintf is the runtime's own wide formatter, so %s means a wide
  // string here exactly as it does on Windows.
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    const int n = _vsnwprintf(buffer.data(), buffer.size(), pszFormat, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
      m_s.assign(buffer.data(), static_cast<size_t>(n));
      return;
    }
    buffer.resize(buffer.size() * 2);
  }
}

BSTR CString::AllocSysString() const { return SysAllocStringLen(m_s.data(), static_cast<UINT>(m_s.size())); }

bool CString::LoadString(UINT nID) {
  const wchar_t *p = nullptr;
  const int n = ::LoadStringW(GetModuleHandleW(nullptr), nID, reinterpret_cast<LPWSTR>(&p), 0);
  if (n <= 0 || !p) {
    m_s.clear();
    return false;
  }
  m_s.assign(p, static_cast<size_t>(n));
  return true;
}
