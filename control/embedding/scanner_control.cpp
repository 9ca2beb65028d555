// The control object's identity and life: construction, the interfaces it
// answers, IDispatch handed to the automation layer, the
// connection point container and the class information.
#include "control/embedding/scanner_control.h"

#include "control/automation/dispatch.h"
#include "control/automation/typelib.h"
#include "control/guids.h"

#include <new>

namespace quillon::control {

std::atomic<long> g_moduleRefs{0};

TestSwitches TestSwitches::Read() {
  TestSwitches switches;
  ScopedRegKey key;
  if (key.Open(HKEY_CURRENT_USER, L"Software\\Quillon\\StandInControl", KEY_READ) != ERROR_SUCCESS) return switches;
  auto on = [&](const wchar_t *name) {
    DWORD value = 0, size = sizeof value, type = 0;
    return RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && value == 1;
  };
  switches.noClassInfo = on(L"NoClassInfo");
  switches.refuseStateStream = on(L"RefuseStateStream");
  return switches;
}

ScannerControl::ScannerControl()
    : m_switches(TestSwitches::Read()), m_eventWindow([this] { Deliver(); }),
      m_device({m_directory, m_claim, m_eventWindow, m_events}) {}

ScannerControl::~ScannerControl() {
  if (m_placeholder) DestroyWindow(m_placeholder);
}

HRESULT ScannerControl::Create(REFIID iid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ScannerControl *p = nullptr;
  try {
    p = new ScannerControl();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = p->QueryInterface(iid, ppv);
  p->Release();
  return hr;
}

void ScannerControl::Deliver() {
  AddRef(); // an event handler may release the last reference
  m_device.Deliver();
  Release();
}

// ---- IUnknown -------------------------------------------------------------------------

bool ScannerControl::Refuses(REFIID iid) const {
  return (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2) && m_switches.noClassInfo;
}

void *ScannerControl::OtherInterface(REFIID iid) {
  return iid == kScannerDispatchIid ? static_cast<IDispatch *>(this) : nullptr;
}

// ---- IDispatch ------------------------------------------------------------------------

STDMETHODIMP ScannerControl::GetTypeInfoCount(UINT *pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

STDMETHODIMP ScannerControl::GetTypeInfo(UINT index, LCID, ITypeInfo **ppti) {
  if (!ppti) return E_POINTER;
  *ppti = nullptr;
  return index == 0 ? LoadScannerTypeInfo(kScannerDispatchIid, ppti) : DISP_E_BADINDEX;
}

STDMETHODIMP ScannerControl::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  return automation::GetIDsOfNames(names, count, ids);
}

STDMETHODIMP ScannerControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                    EXCEPINFO *, UINT *argErr) {
  AddRef(); // an event handler may release the last reference during the call
  const HRESULT hr = automation::Invoke(m_device, id, iid, flags, params, result, argErr);
  Release();
  return hr;
}

// ---- IConnectionPointContainer, IProvideClassInfo2 ------------------------------------

STDMETHODIMP ScannerControl::EnumConnectionPoints(IEnumConnectionPoints **ppEnum) {
  return comkit::EnumeratePoints({&m_events.Point()}, ppEnum);
}

STDMETHODIMP ScannerControl::FindConnectionPoint(REFIID iid, IConnectionPoint **ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (iid != kScannerEventsIid) return CONNECT_E_NOCONNECTION;
  *ppCP = &m_events.Point();
  AddRef();
  return S_OK;
}

STDMETHODIMP ScannerControl::GetClassInfo(ITypeInfo **ppTI) { return LoadScannerTypeInfo(kScannerClsid, ppTI); }

STDMETHODIMP ScannerControl::GetGUID(DWORD kind, GUID *pGuid) {
  if (!pGuid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *pGuid = GUID_NULL;
    return E_INVALIDARG;
  }
  *pGuid = kScannerEventsIid;
  return S_OK;
}

} // namespace quillon::control
