// CString: the wide-character string every window and handler holds.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdarg>
#include <string>
#include <string_view>

class CString {
public:
  CString() = default;
  CString(const wchar_t *psz) : m_s(psz ? psz : L"") {}
  CString(const wchar_t *pch, int nLength) : m_s(pch, static_cast<size_t>(nLength)) {}
  CString(std::wstring s) : m_s(std::move(s)) {}
  CString(std::wstring_view s) : m_s(s) {}

  int GetLength() const { return static_cast<int>(m_s.size()); }
  bool IsEmpty() const { return m_s.empty(); }
  void Empty() { m_s.clear(); }
  wchar_t GetAt(int i) const { return m_s.at(static_cast<size_t>(i)); }

  operator const wchar_t *() const { return m_s.c_str(); }
  const wchar_t *GetString() const { return m_s.c_str(); }
  const std::wstring &str() const { return m_s; }

  CString &operator=(const wchar_t *psz) {
    m_s = psz ? psz : L"";
    return *this;
  }
  CString &operator+=(const CString &s) {
    m_s += s.m_s;
    return *this;
  }
  CString &operator+=(const wchar_t *psz) {
    if (psz) m_s += psz;
    return *this;
  }
  CString &operator+=(wchar_t ch) {
    m_s += ch;
    return *this;
  }
  friend CString operator+(CString a, const CString &b) { return a += b; }
  friend CString operator+(CString a, const wchar_t *b) { return a += b; }
  friend bool operator==(const CString &a, const CString &b) { return a.m_s == b.m_s; }
  friend bool operator==(const CString &a, const wchar_t *b) { return a.m_s == (b ? b : L""); }

  // printf-style formatting with the C runtime's wide conversions (%s takes
  // a wide string, %d and %ld a 32-bit integer).
  void Format(const wchar_t *pszFormat, ...);
  void FormatV(const wchar_t *pszFormat, va_list args);

  // A new BSTR holding a copy; the receiver frees it with SysFreeString.
  BSTR AllocSysString() const;

  // The text of a string resource of this module, empty when there is none.
  bool LoadString(UINT nID);

private:
  std::wstring m_s;
};
