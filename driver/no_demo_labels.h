// Switches a simulated device's own sample labels off while a test or tool
// counts or shows labels of its own, and sets the device entry's DemoInterval
// back as it was afterwards. The entry is the one in this program's registry
// view, which is the one the console of the same bitness reads.
#pragma once

#include "comkit/handles.h"

#include <windows.h>

#include <string>

class NoDemoLabels {
public:
  explicit NoDemoLabels(const std::wstring &device = L"QuillonSim") {
    const std::wstring key = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\" + device;
    if (m_key.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ | KEY_SET_VALUE) != ERROR_SUCCESS) return;
    DWORD size = sizeof m_old;
    m_had = RegQueryValueExW(m_key.Get(), kValue, nullptr, nullptr, reinterpret_cast<BYTE *>(&m_old), &size) ==
            ERROR_SUCCESS;
    const DWORD none = 0;
    RegSetValueExW(m_key.Get(), kValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&none), sizeof none);
  }
  ~NoDemoLabels() {
    if (!m_key) return;
    if (m_had)
      RegSetValueExW(m_key.Get(), kValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&m_old), sizeof m_old);
    else
      RegDeleteValueW(m_key.Get(), kValue);
  }
  NoDemoLabels(const NoDemoLabels &) = delete;
  NoDemoLabels &operator=(const NoDemoLabels &) = delete;

  // False when the device entry does not exist.
  bool Ready() const { return static_cast<bool>(m_key); }

private:
  static constexpr wchar_t kValue[] = L"DemoInterval";
  ScopedRegKey m_key;
  DWORD m_old = 0;
  bool m_had = false;
};
