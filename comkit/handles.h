// RAII holders for COM pointers, BSTRs, VARIANTs, registry keys and kernel
// handles, so that every handle is released on every path by construction.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

namespace comkit {

template <class T> class ComPtr {
public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to p.
  explicit ComPtr(T *p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr &o) : ComPtr(o.m_p) {}
  ComPtr(ComPtr &&o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr &operator=(ComPtr o) noexcept {
    std::swap(m_p, o.m_p);
    return *this;
  }

  T *Get() const { return m_p; }
  T *operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // The address of the held pointer, emptied first, for out-parameters.
  T **operator&() {
    Reset();
    return &m_p;
  }
  void **PutVoid() { return reinterpret_cast<void **>(&*this); }
  void Reset() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }
  // Adopts a reference the caller already owns.
  void Attach(T *p) {
    Reset();
    m_p = p;
  }
  T *Detach() { return std::exchange(m_p, nullptr); }

  template <class U> HRESULT As(ComPtr<U> &out) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(__uuidof(U), out.PutVoid());
  }
  HRESULT QueryInto(REFIID iid, void **ppv) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(iid, ppv);
  }

private:
  T *m_p = nullptr;
};

class ScopedBstr {
public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t *psz) : m_b(SysAllocString(psz)) {}
  ScopedBstr(const ScopedBstr &) = delete;
  ScopedBstr &operator=(const ScopedBstr &) = delete;
  ~ScopedBstr() { SysFreeString(m_b); }

  BSTR Get() const { return m_b; }
  BSTR *Receive() {
    Reset();
    return &m_b;
  }
  // The held BSTR, which the by-reference callee may replace.
  BSTR *InOut() { return &m_b; }
  void Reset(BSTR b = nullptr) {
    if (b != m_b) SysFreeString(std::exchange(m_b, b));
  }
  UINT Length() const { return SysStringLen(m_b); }

private:
  BSTR m_b = nullptr;
};

class ScopedVariant {
public:
  ScopedVariant() { VariantInit(&m_v); }
  ScopedVariant(const ScopedVariant &) = delete;
  ScopedVariant &operator=(const ScopedVariant &) = delete;
  ~ScopedVariant() { VariantClear(&m_v); }

  VARIANT *operator&() { return &m_v; }
  VARIANT &Get() { return m_v; }
  const VARIANT &Get() const { return m_v; }
  void Clear() { VariantClear(&m_v); }

private:
  VARIANT m_v;
};

class ScopedRegKey {
public:
  ScopedRegKey() = default;
  ScopedRegKey(const ScopedRegKey &) = delete;
  ScopedRegKey &operator=(const ScopedRegKey &) = delete;
  ~ScopedRegKey() { Close(); }

  LSTATUS Open(HKEY hParent, const wchar_t *pszSubKey, REGSAM sam) {
    Close();
    return Held(RegOpenKeyExW(hParent, pszSubKey, 0, sam, &m_h));
  }
  // Opens the key, making it (and its parents) where it does not exist.
  LSTATUS Create(HKEY hParent, const wchar_t *pszSubKey, REGSAM sam) {
    Close();
    return Held(RegCreateKeyExW(hParent, pszSubKey, 0, nullptr, 0, sam, nullptr, &m_h, nullptr));
  }
  HKEY Get() const { return m_h; }
  explicit operator bool() const { return m_h != nullptr; }
  void Close() {
    if (m_h) RegCloseKey(std::exchange(m_h, nullptr));
  }

private:
  // What a failed call leaves in the handle is not a key.
  LSTATUS Held(LSTATUS status) {
    if (status != ERROR_SUCCESS) m_h = nullptr;
    return status;
  }

  HKEY m_h = nullptr;
};

// A kernel object's handle (event, thread, process, file). Both null and
// INVALID_HANDLE_VALUE mean "none", since Win32 functions return either.
class ScopedHandle {
public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE h) : m_h(h) {}
  ScopedHandle(ScopedHandle &&o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
  ScopedHandle &operator=(ScopedHandle o) noexcept {
    std::swap(m_h, o.m_h);
    return *this;
  }
  ~ScopedHandle() { Reset(); }

  HANDLE Get() const { return m_h; }
  explicit operator bool() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
  void Reset(HANDLE h = nullptr) {
    const HANDLE old = std::exchange(m_h, h);
    if (old && old != INVALID_HANDLE_VALUE && old != h) CloseHandle(old);
  }
  HANDLE Detach() { return std::exchange(m_h, nullptr); }

private:
  HANDLE m_h = nullptr;
};

} // namespace comkit

// The holders are used throughout under their plain names.
using comkit::ComPtr;
using comkit::ScopedBstr;
using comkit::ScopedHandle;
using comkit::ScopedRegKey;
using comkit::ScopedVariant;
