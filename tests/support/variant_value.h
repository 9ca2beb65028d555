// VariantValue: a copyable, owning VARIANT for test code (answers, recorded
// arguments, event arguments).
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <utility>

class VariantValue {
public:
  VariantValue() { VariantInit(&m_v); }
  // A deep copy; a by-reference variant is copied as the value it refers to.
  explicit VariantValue(const VARIANT &v) {
    VariantInit(&m_v);
    VariantCopyInd(&m_v, const_cast<VARIANT *>(&v));
  }
  VariantValue(const VariantValue &o) : VariantValue(o.m_v) {}
  VariantValue(VariantValue &&o) noexcept : m_v(o.m_v) { VariantInit(&o.m_v); }
  VariantValue &operator=(VariantValue o) noexcept {
    std::swap(m_v, o.m_v);
    return *this;
  }
  ~VariantValue() { VariantClear(&m_v); }

  static VariantValue Long(long l) {
    VariantValue r;
    r.m_v.vt = VT_I4;
    r.m_v.lVal = l;
    return r;
  }
  static VariantValue Short(short s) {
    VariantValue r;
    r.m_v.vt = VT_I2;
    r.m_v.iVal = s;
    return r;
  }
  static VariantValue Bool(bool b) {
    VariantValue r;
    r.m_v.vt = VT_BOOL;
    r.m_v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
  }
  static VariantValue String(const wchar_t *psz) {
    VariantValue r;
    r.m_v.vt = VT_BSTR;
    r.m_v.bstrVal = SysAllocString(psz ? psz : L"");
    return r;
  }
  static VariantValue Double(double d) {
    VariantValue r;
    r.m_v.vt = VT_R8;
    r.m_v.dblVal = d;
    return r;
  }

  const VARIANT &Get() const { return m_v; }
  VARTYPE vt() const { return m_v.vt; }
  bool IsEmpty() const { return m_v.vt == VT_EMPTY; }
  // The value coerced to long (0 when it cannot be).
  long AsLong() const {
    VARIANT t;
    VariantInit(&t);
    long l = 0;
    if (SUCCEEDED(VariantChangeType(&t, const_cast<VARIANT *>(&m_v), 0, VT_I4))) l = t.lVal;
    VariantClear(&t);
    return l;
  }
  // The value coerced to text (empty when it cannot be).
  std::wstring AsString() const {
    VARIANT t;
    VariantInit(&t);
    std::wstring s;
    if (SUCCEEDED(VariantChangeType(&t, const_cast<VARIANT *>(&m_v), 0, VT_BSTR)) && t.bstrVal)
      s.assign(t.bstrVal, SysStringLen(t.bstrVal));
    VariantClear(&t);
    return s;
  }
  // Copies this value into an uninitialised or empty out-parameter.
  HRESULT CopyTo(VARIANT *pv) const {
    VariantInit(pv);
    return VariantCopy(pv, const_cast<VARIANT *>(&m_v));
  }

private:
  VARIANT m_v;
};
