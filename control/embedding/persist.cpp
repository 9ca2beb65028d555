// IPersistStreamInit: the initial state a container keeps for the control is
// four 32-bit words, the second a version, the third and fourth the extent in
// HIMETRIC.
#include "control/embedding/scanner_control.h"

namespace quillon::control {

STDMETHODIMP ScannerControl::GetClassID(CLSID *clsid) { return GetUserClassID(clsid); }
STDMETHODIMP ScannerControl::IsDirty() { return S_FALSE; }
STDMETHODIMP ScannerControl::Load(IStream *stream) {
  if (!stream) return E_POINTER;
  if (m_switches.refuseStateStream) return E_FAIL;
  DWORD words[4] = {};
  ULONG read = 0;
  if (FAILED(stream->Read(words, sizeof words, &read))) return E_FAIL;
  if (read == sizeof words && words[2] > 0 && words[3] > 0 && words[2] < 0x100000 && words[3] < 0x100000)
    m_extent = {static_cast<LONG>(words[2]), static_cast<LONG>(words[3])};
  return S_OK;
}
STDMETHODIMP ScannerControl::Save(IStream *stream, BOOL) {
  if (!stream) return E_POINTER;
  const DWORD words[4] = {0, 0x0900, static_cast<DWORD>(m_extent.cx), static_cast<DWORD>(m_extent.cy)};
  return stream->Write(words, sizeof words, nullptr);
}
STDMETHODIMP ScannerControl::GetSizeMax(ULARGE_INTEGER *size) {
  if (!size) return E_POINTER;
  size->QuadPart = 16;
  return S_OK;
}
STDMETHODIMP ScannerControl::InitNew() { return S_OK; }

} // namespace quillon::control
