#include "control/control.h"

#include "control/guids.h"
#include "control/opos.h"

#include <new>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quillon {

std::atomic<long> g_moduleRefs{0};

namespace {

constexpr UINT WM_DELIVER = WM_APP + 1;
constexpr size_t kQueueLimit = 1u << 18; // events held per queue before input is refused
constexpr int kEventsPerMessage = 256;   // then the message queue gets a turn
constexpr wchar_t kEventWindowClass[] = L"QuillonScannerEvents";
constexpr wchar_t kPlaceholderClass[] = L"QuillonScannerPlaceholder";
constexpr wchar_t kDeviceKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\";
constexpr long kControlVersion = 1014000; // 1.14.0

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

std::wstring FromBstr(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

BSTR ToBstr(const std::wstring &s) {
  BSTR b = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  if (!b) throw std::bad_alloc();
  return b;
}

// Coerces an argument (by value or by reference) to the wanted type.
HRESULT Coerce(const VARIANT &in, VARTYPE vt, VARIANT &out) {
  VariantInit(&out);
  return VariantChangeType(&out, const_cast<VARIANT *>(&in), 0, vt);
}

// The variant that a by-reference argument really refers to, for
// VT_BYREF|VT_VARIANT (as script engines pass them).
VARIANT &Inner(VARIANT &v) {
  if (V_VT(&v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v)) return *V_VARIANTREF(&v);
  return v;
}

class RegistryKey {
public:
  ~RegistryKey() {
    if (m_h) RegCloseKey(m_h);
  }
  HKEY *Receive() { return &m_h; }
  HKEY Get() const { return m_h; }

private:
  HKEY m_h = nullptr;
};

// The device entry's values; false when the entry does not exist.
bool ReadDeviceEntry(const std::wstring &name, ServiceConfig &config) {
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kDeviceKey + name).c_str(), 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS)
    return false;
  config.deviceName = name;
  std::vector<wchar_t> valueName(16384);
  std::vector<BYTE> data(4096);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(valueName.size());
    DWORD dataSize = static_cast<DWORD>(data.size() - sizeof(wchar_t));
    DWORD type = 0;
    const LSTATUS s =
        RegEnumValueW(key.Get(), i, valueName.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
    if (s == ERROR_NO_MORE_ITEMS) break;
    if (s == ERROR_MORE_DATA) continue; // a value too large to be configuration
    if (s != ERROR_SUCCESS) break;
    const std::wstring valueNameText(valueName.data(), nameLength);
    if (type == REG_DWORD && dataSize == sizeof(DWORD)) {
      DWORD v;
      memcpy(&v, data.data(), sizeof v);
      config.numbers[valueNameText] = v;
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      data[dataSize] = 0;
      data[dataSize + 1] = 0;
      std::wstring text(reinterpret_cast<const wchar_t *>(data.data()), dataSize / sizeof(wchar_t));
      while (!text.empty() && text.back() == 0)
        text.pop_back();
      if (valueNameText.empty())
        config.serviceName = text;
      else
        config.texts[valueNameText] = text;
    }
  }
  return true;
}

// Switches that make the object act as stricter control objects do, so that
// containers can be tried against them: DWORD values under
// HKCU\Software\Quillon\StandInControl, read when an object is made.
// NoClassInfo=1: no IProvideClassInfo or IProvideClassInfo2.
// RefuseStateStream=1: IPersistStreamInit::Load fails with E_FAIL.
bool StandInSwitch(const wchar_t *name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quillon\\StandInControl", name, RRF_RT_REG_DWORD, nullptr, &value,
                      &size) == ERROR_SUCCESS &&
         value != 0;
}

} // namespace

DWORD ServiceConfig::Number(const std::wstring &name, DWORD fallback) const {
  const auto it = numbers.find(name);
  return it == numbers.end() ? fallback : it->second;
}

std::wstring ServiceConfig::Text(const std::wstring &name, const std::wstring &fallback) const {
  const auto it = texts.find(name);
  return it == texts.end() ? fallback : it->second;
}

// ---- the connection point ----------------------------------------------------------

class ScannerControl::ConnectionPoint final : public IConnectionPoint {
public:
  explicit ConnectionPoint(ScannerControl &owner) : m_owner(owner) {}
  virtual ~ConnectionPoint() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
      *ppv = static_cast<IConnectionPoint *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_owner.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_owner.Release(); }

  STDMETHODIMP GetConnectionInterface(IID *iid) override {
    if (!iid) return E_POINTER;
    *iid = kScannerEventsIid;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer **ppCPC) override {
    if (!ppCPC) return E_POINTER;
    *ppCPC = &m_owner;
    m_owner.AddRef();
    return S_OK;
  }
  STDMETHODIMP Advise(IUnknown *sink, DWORD *cookie) override {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    try {
      ComPtr<IDispatch> dispatch;
      if (FAILED(sink->QueryInterface(kScannerEventsIid, dispatch.PutVoid())) &&
          FAILED(sink->QueryInterface(IID_IDispatch, dispatch.PutVoid())))
        return CONNECT_E_CANNOTCONNECT;
      m_sinks.push_back({++m_lastCookie, std::move(dispatch)});
      *cookie = m_lastCookie;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
      if (it->cookie == cookie) {
        m_sinks.erase(it);
        return S_OK;
      }
    }
    return CONNECT_E_NOCONNECTION;
  }
  STDMETHODIMP EnumConnections(IEnumConnections **ppEnum) override {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
  }

  std::vector<ComPtr<IDispatch>> Sinks() const {
    std::vector<ComPtr<IDispatch>> out;
    for (const auto &s : m_sinks)
      out.push_back(s.dispatch);
    return out;
  }
  void Clear() { m_sinks.clear(); }

private:
  struct Connection {
    DWORD cookie;
    ComPtr<IDispatch> dispatch;
  };
  ScannerControl &m_owner;
  std::vector<Connection> m_sinks;
  DWORD m_lastCookie = 0;
};

namespace {

// Enumerates the control's one connection point.
class PointEnumerator final : public IEnumConnectionPoints {
public:
  explicit PointEnumerator(IConnectionPoint *point, ULONG position = 0) : m_point(point), m_position(position) {}
  virtual ~PointEnumerator() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumConnectionPoints) {
      *ppv = static_cast<IEnumConnectionPoints *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG r = --m_refs;
    if (!r) delete this;
    return r;
  }
  STDMETHODIMP Next(ULONG count, IConnectionPoint **points, ULONG *fetched) override {
    if (!points || (count != 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && m_position == 0) {
      points[0] = m_point.Get();
      points[0]->AddRef();
      n = 1;
      m_position = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    m_position += count;
    return m_position <= 1 ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumConnectionPoints **ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) PointEnumerator(m_point.Get(), m_position);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
  }

private:
  std::atomic<ULONG> m_refs{1};
  ComPtr<IConnectionPoint> m_point;
  ULONG m_position;
};

} // namespace

// ---- construction ---------------------------------------------------------------------

ScannerControl::ScannerControl() {
  static const ATOM atoms[] = {[] {
                                 WNDCLASSW wc{};
                                 wc.lpfnWndProc = EventWindowProc;
                                 wc.hInstance = Module();
                                 wc.lpszClassName = kEventWindowClass;
                                 return RegisterClassW(&wc);
                               }(),
                               [] {
                                 WNDCLASSW wc{};
                                 wc.lpfnWndProc = PlaceholderProc;
                                 wc.hInstance = Module();
                                 wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
                                 wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
                                 wc.lpszClassName = kPlaceholderClass;
                                 return RegisterClassW(&wc);
                               }()};
  (void)atoms;
  m_noClassInfo = StandInSwitch(L"NoClassInfo");
  m_refuseStateStream = StandInSwitch(L"RefuseStateStream");
  m_connectionPoint = std::make_unique<ConnectionPoint>(*this);
  m_eventWindow = CreateWindowExW(0, kEventWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Module(), this);
  ++g_moduleRefs;
}

ScannerControl::~ScannerControl() {
  Shutdown();
  if (m_placeholder) DestroyWindow(m_placeholder);
  if (m_eventWindow) DestroyWindow(m_eventWindow);
  --g_moduleRefs;
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
  if (!p->m_eventWindow) {
    p->Release();
    return E_FAIL;
  }
  const HRESULT hr = p->QueryInterface(iid, ppv);
  p->Release();
  return hr;
}

// ---- IUnknown -------------------------------------------------------------------------

STDMETHODIMP ScannerControl::QueryInterface(REFIID iid, void **ppv) {
  if (!ppv) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch)
    *ppv = static_cast<IDispatch *>(this);
  else if (iid == IID_IConnectionPointContainer)
    *ppv = static_cast<IConnectionPointContainer *>(this);
  else if ((iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2) && !m_noClassInfo)
    *ppv = static_cast<IProvideClassInfo2 *>(this);
  else if (iid == IID_IOleObject)
    *ppv = static_cast<IOleObject *>(this);
  else if (iid == IID_IOleInPlaceObject || iid == IID_IOleWindow)
    *ppv = static_cast<IOleInPlaceObject *>(this);
  else if (iid == IID_IOleControl)
    *ppv = static_cast<IOleControl *>(this);
  else if (iid == IID_IPersistStreamInit)
    *ppv = static_cast<IPersistStreamInit *>(this);
  else if (iid == IID_IPersist)
    *ppv = static_cast<IPersist *>(static_cast<IPersistStreamInit *>(this));
  else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) ScannerControl::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) ScannerControl::Release() {
  const ULONG r = --m_refs;
  if (!r) delete this;
  return r;
}

// ---- IDispatch ------------------------------------------------------------------------

STDMETHODIMP ScannerControl::GetTypeInfoCount(UINT *pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP ScannerControl::GetTypeInfo(UINT, LCID, ITypeInfo **ppti) {
  if (ppti) *ppti = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP ScannerControl::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  const members::Member *m = members::FindByName(names[0]);
  ids[0] = m ? m->id : DISPID_UNKNOWN;
  for (UINT i = 1; i < count; ++i)
    ids[i] = DISPID_UNKNOWN; // no named arguments
  return m && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

STDMETHODIMP ScannerControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                    EXCEPINFO *, UINT *argErr) {
  const members::Member *m = members::Find(id);
  if (!m) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{};
  DISPPARAMS &p = params ? *params : none;
  if (p.cArgs && !p.rgvarg) return E_INVALIDARG;
  AddRef(); // an event handler may release the last reference during the call
  ++m_inCall;
  HRESULT hr;
  try {
    if (m->kind == members::Kind::Method) {
      hr = (flags & DISPATCH_METHOD) ? InvokeMethod(*m, p, result, argErr) : DISP_E_MEMBERNOTFOUND;
    } else if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      hr = m->writable ? InvokePut(*m, p, argErr) : DISP_E_MEMBERNOTFOUND;
    } else if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
      hr = p.cArgs ? DISP_E_BADPARAMCOUNT : InvokeGet(*m, result);
    } else {
      hr = DISP_E_MEMBERNOTFOUND;
    }
  } catch (const std::bad_alloc &) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  if (--m_inCall == 0 && m_deliverySkipped) {
    m_deliverySkipped = false;
    PostDeliver();
  }
  Release();
  return hr;
}

HRESULT ScannerControl::InvokeMethod(const members::Member &m, DISPPARAMS &p, VARIANT *result, UINT *argErr) {
  using members::Type;
  if (p.cNamedArgs) return DISP_E_NONAMEDARGS;
  if (p.cArgs != m.argCount) return DISP_E_BADPARAMCOUNT;

  long longs[3] = {};
  std::wstring strings[3];
  for (UINT i = 0; i < m.argCount; ++i) {
    VARIANT &arg = Inner(p.rgvarg[m.argCount - 1 - i]);
    const bool text = m.args[i] == Type::String || m.args[i] == Type::StringRef;
    if (text && (V_VT(&arg) == VT_BSTR || V_VT(&arg) == (VT_BYREF | VT_BSTR))) {
      strings[i] = FromBstr(V_VT(&arg) == VT_BSTR ? V_BSTR(&arg) : (V_BSTRREF(&arg) ? *V_BSTRREF(&arg) : nullptr));
      continue;
    }
    ScopedVariant v;
    if (FAILED(Coerce(arg, text ? VT_BSTR : VT_I4, v.Get()))) {
      if (argErr) *argErr = m.argCount - 1 - i;
      return DISP_E_TYPEMISMATCH;
    }
    if (text)
      strings[i] = FromBstr(V_BSTR(&v.Get()));
    else
      longs[i] = V_I4(&v.Get());
  }

  long rc = opos::SUCCESS;
  Result fault;
  if (m.id != members::Open && m.id != members::Close && m_open && m_service && m_service->TakeInjectedFault(fault)) {
    rc = SetResult(fault.code, fault.extended);
  } else {
    switch (m.id) {
    case members::Open:
      rc = DoOpen(strings[0]);
      break;
    case members::Close:
      rc = DoClose();
      break;
    case members::ClaimDevice:
      rc = DoClaim(longs[0]);
      break;
    case members::ReleaseDevice:
      rc = DoRelease();
      break;
    case members::CheckHealth:
      rc = DoCheckHealth(longs[0]);
      break;
    case members::ClearInput:
      rc = DoClearInput();
      break;
    case members::ClearInputProperties:
      rc = DoClearInputProperties();
      break;
    case members::DirectIO:
      rc = DoDirectIO(longs[0], longs[1], strings[2]);
      break;
    case members::RetrieveStatistics:
      rc = DoRetrieveStatistics(strings[0]);
      break;
    case members::UpdateStatistics:
      rc = DoUpdateStatistics(strings[0], false);
      break;
    case members::ResetStatistics:
      rc = DoUpdateStatistics(strings[0], true);
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
    }
  }

  // Write back the by-reference arguments.
  for (UINT i = 0; i < m.argCount; ++i) {
    VARIANT &arg = Inner(p.rgvarg[m.argCount - 1 - i]);
    if (m.args[i] == Type::LongRef) {
      if (V_VT(&arg) == (VT_BYREF | VT_I4) && V_I4REF(&arg))
        *V_I4REF(&arg) = longs[i];
      else if (&arg != &p.rgvarg[m.argCount - 1 - i]) { // a variant by reference: replace its value
        VariantClear(&arg);
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = longs[i];
      }
    } else if (m.args[i] == Type::StringRef) {
      if (V_VT(&arg) == (VT_BYREF | VT_BSTR) && V_BSTRREF(&arg)) {
        BSTR fresh = ToBstr(strings[i]);
        SysFreeString(*V_BSTRREF(&arg));
        *V_BSTRREF(&arg) = fresh;
      } else if (&arg != &p.rgvarg[m.argCount - 1 - i]) {
        BSTR fresh = ToBstr(strings[i]);
        VariantClear(&arg);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = fresh;
      }
    }
  }
  if (result) {
    VariantInit(result);
    V_VT(result) = VT_I4;
    V_I4(result) = rc;
  }
  return S_OK;
}

HRESULT ScannerControl::InvokeGet(const members::Member &m, VARIANT *result) {
  using members::Type;
  long n = 0;
  bool flag = false;
  std::wstring text;
  if (m.needsOpen) SetResult(m_open ? opos::SUCCESS : opos::E_CLOSED);
  if (m.needsOpen && !m_open) {
    // A closed device reads as its defaults.
    if (m.id == members::PowerState) n = opos::PS_UNKNOWN;
  } else {
    std::lock_guard lock(m_lock);
    switch (m.id) {
    case members::AutoDisable:
      flag = m_autoDisable;
      break;
    case members::BinaryConversion:
      n = m_binaryConversion;
      break;
    case members::CapPowerReporting:
      n = m_caps.powerReporting;
      break;
    case members::CheckHealthText:
      text = m_checkHealthText;
      break;
    case members::Claimed:
      flag = m_claimed;
      break;
    case members::DataCount:
      n = m_dataCount;
      break;
    case members::DataEventEnabled:
      flag = m_dataEventEnabled;
      break;
    case members::DeviceEnabled:
      flag = m_enabled;
      break;
    case members::FreezeEvents:
      flag = m_freezeEvents;
      break;
    case members::PowerNotify:
      n = m_powerNotify;
      break;
    case members::PowerState:
      n = m_caps.powerReporting && m_powerNotify && m_enabled ? m_powerState : opos::PS_UNKNOWN;
      break;
    case members::ResultCode:
      n = m_resultCode;
      break;
    case members::ResultCodeExtended:
      n = m_resultCodeExtended;
      break;
    case members::State:
      n = m_state;
      break;
    case members::ControlObjectDescription:
      text = L"Quillon OPOS Scanner control object";
      break;
    case members::ControlObjectVersion:
      n = kControlVersion;
      break;
    case members::ServiceObjectDescription:
      text = m_service->ServiceDescription();
      break;
    case members::ServiceObjectVersion:
      n = m_service->ServiceVersion();
      break;
    case members::DeviceDescription:
      text = m_service->DeviceDescription();
      break;
    case members::DeviceName:
      text = m_service->PhysicalDeviceName();
      break;
    case members::CapStatisticsReporting:
      flag = m_caps.statisticsReporting;
      break;
    case members::CapUpdateStatistics:
      flag = m_caps.updateStatistics;
      break;
    case members::CapCompareFirmwareVersion:
    case members::CapUpdateFirmware:
      flag = false;
      break;
    case members::DecodeData:
      flag = m_decodeData;
      break;
    case members::ScanData:
      text = Converted(m_scanData);
      break;
    case members::ScanDataLabel:
      text = Converted(m_scanDataLabel);
      break;
    case members::ScanDataType:
      n = m_scanDataType;
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
    }
  }
  if (!result) return S_OK;
  VariantInit(result);
  switch (m.type) {
  case Type::Bool:
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    break;
  case Type::String:
    V_BSTR(result) = ToBstr(text);
    V_VT(result) = VT_BSTR;
    break;
  default:
    V_VT(result) = VT_I4;
    V_I4(result) = n;
  }
  return S_OK;
}

HRESULT ScannerControl::InvokePut(const members::Member &m, DISPPARAMS &p, UINT *argErr) {
  if (p.cArgs != 1) return DISP_E_BADPARAMCOUNT;
  if (p.cNamedArgs > 1 || (p.cNamedArgs == 1 && p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  ScopedVariant v;
  if (FAILED(Coerce(p.rgvarg[0], m.type == members::Type::Bool ? VT_BOOL : VT_I4, v.Get()))) {
    if (argErr) *argErr = 0;
    return DISP_E_TYPEMISMATCH;
  }
  const bool flag = m.type == members::Type::Bool && V_BOOL(&v.Get()) != VARIANT_FALSE;
  const long n = m.type == members::Type::Long ? V_I4(&v.Get()) : 0;
  if (!m_open) {
    SetResult(opos::E_CLOSED);
    return S_OK;
  }
  long rc = opos::SUCCESS;
  switch (m.id) {
  case members::DeviceEnabled:
    rc = SetDeviceEnabled(flag);
    break;
  case members::AutoDisable: {
    std::lock_guard lock(m_lock);
    m_autoDisable = flag;
    break;
  }
  case members::DataEventEnabled: {
    std::lock_guard lock(m_lock);
    m_dataEventEnabled = flag;
    break;
  }
  case members::FreezeEvents: {
    std::lock_guard lock(m_lock);
    m_freezeEvents = flag;
    break;
  }
  case members::DecodeData:
    m_decodeData = flag;
    break;
  case members::BinaryConversion:
    if (n < opos::BC_NONE || n > opos::BC_DECIMAL)
      rc = opos::E_ILLEGAL;
    else
      m_binaryConversion = n;
    break;
  case members::PowerNotify: {
    std::lock_guard lock(m_lock);
    if (m_enabled || (n != opos::PN_DISABLED && n != opos::PN_ENABLED) ||
        (n == opos::PN_ENABLED && m_caps.powerReporting == opos::PR_NONE))
      rc = opos::E_ILLEGAL;
    else
      m_powerNotify = n;
    break;
  }
  default:
    return DISP_E_MEMBERNOTFOUND;
  }
  SetResult(rc);
  if (rc == opos::SUCCESS && flag && m.id == members::DataEventEnabled) PostDeliver();
  if (rc == opos::SUCCESS && !flag && m.id == members::FreezeEvents) PostDeliver();
  return S_OK;
}

// ---- OPOS operations ------------------------------------------------------------------

long ScannerControl::SetResult(long code, long extended) {
  m_resultCode = code;
  m_resultCodeExtended = code == opos::SUCCESS ? 0 : extended;
  return code;
}

long ScannerControl::DoOpen(const std::wstring &name) {
  if (m_open) return SetResult(opos::E_ILLEGAL);
  if (name.empty() || name.size() > 255 || name.find(L'\\') != std::wstring::npos ||
      name.find(L'\0') != std::wstring::npos)
    return SetResult(opos::E_NOEXIST);
  ServiceConfig config;
  if (!ReadDeviceEntry(name, config)) return SetResult(opos::E_NOEXIST);
  std::unique_ptr<IScannerService> service = CreateService(config.serviceName);
  if (!service) return SetResult(opos::E_NOSERVICE);
  const long rc = service->Open(config, this);
  if (rc != opos::SUCCESS) {
    service->Close();
    return SetResult(rc);
  }
  m_service = std::move(service);
  m_caps = m_service->Caps();
  m_deviceName = name;
  m_claimed = false;
  m_decodeData = false;
  m_binaryConversion = opos::BC_NONE;
  m_powerNotify = opos::PN_DISABLED;
  m_checkHealthText.clear();
  m_scanData.clear();
  m_scanDataLabel.clear();
  m_scanDataType = 0;
  {
    std::lock_guard lock(m_lock);
    m_open = true;
    m_enabled = m_autoDisable = m_dataEventEnabled = m_freezeEvents = false;
    m_state = opos::S_IDLE;
    m_powerState = opos::PS_UNKNOWN;
    m_dataCount = 0;
    m_input.clear();
    m_other.clear();
  }
  return SetResult(opos::SUCCESS);
}

void ScannerControl::Shutdown() {
  if (!m_open) return;
  if (m_enabled) SetDeviceEnabled(false);
  m_claim.Release();
  m_claimed = false;
  m_service->Close(); // no more sink calls after this
  {
    std::lock_guard lock(m_lock);
    m_open = m_enabled = m_dataEventEnabled = m_freezeEvents = m_autoDisable = false;
    m_state = opos::S_CLOSED;
    m_dataCount = 0;
    m_input.clear();
    m_other.clear();
  }
  m_service.reset();
  m_caps = {};
  m_scanData.clear();
  m_scanDataLabel.clear();
  m_scanDataType = 0;
  m_checkHealthText.clear();
}

long ScannerControl::DoClose() {
  if (!m_open) return SetResult(opos::E_CLOSED);
  Shutdown();
  return SetResult(opos::SUCCESS);
}

static std::wstring ClaimName(std::wstring name) {
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size())); // device names are case-blind
  return name;
}

long ScannerControl::DoClaim(long timeout) {
  if (!m_open) return SetResult(opos::E_CLOSED);
  if (timeout < -1) return SetResult(opos::E_ILLEGAL);
  if (m_claimed) return SetResult(opos::SUCCESS);
  const long rc = m_claim.Acquire(ClaimName(m_deviceName), timeout);
  m_claimed = rc == opos::SUCCESS;
  return SetResult(rc);
}

long ScannerControl::DoRelease() {
  if (!m_open) return SetResult(opos::E_CLOSED);
  if (!m_claimed) return SetResult(opos::E_ILLEGAL);
  if (m_enabled) SetDeviceEnabled(false);
  m_claim.Release();
  m_claimed = false;
  return SetResult(opos::SUCCESS);
}

long ScannerControl::SetDeviceEnabled(bool enable) {
  if (!m_claimed) return DeviceClaim::HeldElsewhere(ClaimName(m_deviceName)) ? opos::E_CLAIMED : opos::E_NOTCLAIMED;
  if (enable) {
    {
      std::lock_guard lock(m_lock);
      if (m_enabled) return opos::SUCCESS;
    }
    const long rc = m_service->Enable(true);
    if (rc != opos::SUCCESS) return rc;
    const long power = MapPower(m_service->CurrentPowerState());
    std::lock_guard lock(m_lock);
    m_enabled = true;
    if (m_caps.powerReporting && m_powerNotify) {
      m_powerState = power;
      QueuedEvent ev{EventKind::Status, ++m_sequence, {}, power};
      m_other.push_back(std::move(ev));
    }
  } else {
    {
      std::lock_guard lock(m_lock);
      m_enabled = false;
      m_powerState = opos::PS_UNKNOWN;
    }
    m_service->Enable(false);
  }
  PostDeliver();
  return opos::SUCCESS;
}

long ScannerControl::DoCheckHealth(long level) {
  if (!m_open) return SetResult(opos::E_CLOSED);
  if (!m_enabled) return SetResult(opos::E_DISABLED);
  if (level < opos::CH_INTERNAL || level > opos::CH_INTERACTIVE) return SetResult(opos::E_ILLEGAL);
  std::wstring text;
  const long rc = m_service->CheckHealth(level, text);
  if (rc == opos::SUCCESS) m_checkHealthText = std::move(text);
  return SetResult(rc);
}

long ScannerControl::DoClearInput() {
  if (!m_open) return SetResult(opos::E_CLOSED);
  if (!m_claimed) return SetResult(opos::E_NOTCLAIMED);
  std::lock_guard lock(m_lock);
  m_input.clear();
  m_dataCount = 0;
  m_state = opos::S_IDLE;
  return SetResult(opos::SUCCESS);
}

long ScannerControl::DoClearInputProperties() {
  if (!m_open) return SetResult(opos::E_CLOSED);
  std::lock_guard lock(m_lock);
  m_scanData.clear();
  m_scanDataLabel.clear();
  m_scanDataType = opos::SCAN_SDT_UNKNOWN;
  return SetResult(opos::SUCCESS);
}

long ScannerControl::DoDirectIO(long command, long &data, std::wstring &text) {
  if (!m_open) return SetResult(opos::E_CLOSED);
  long d = data;
  std::wstring t = text;
  const long rc = m_service->DirectIO(command, d, t, m_claimed);
  if (rc == opos::SUCCESS) { // a refused command leaves the caller's arguments alone
    data = d;
    text = std::move(t);
  }
  return SetResult(rc);
}

long ScannerControl::DoRetrieveStatistics(std::wstring &buffer) {
  if (!m_open) return SetResult(opos::E_CLOSED);
  if (!m_claimed) return SetResult(opos::E_NOTCLAIMED);
  if (!m_caps.statisticsReporting) return SetResult(opos::E_ILLEGAL);
  std::wstring reply = buffer;
  const Result r = m_service->RetrieveStatistics(reply);
  if (r.code == opos::SUCCESS) buffer = std::move(reply);
  return SetResult(r.code, r.extended);
}

long ScannerControl::DoUpdateStatistics(const std::wstring &buffer, bool reset) {
  if (!m_open) return SetResult(opos::E_CLOSED);
  if (!m_claimed) return SetResult(opos::E_NOTCLAIMED);
  if (!m_caps.statisticsReporting || !m_caps.updateStatistics) return SetResult(opos::E_ILLEGAL);
  const Result r = reset ? m_service->ResetStatistics(buffer) : m_service->UpdateStatistics(buffer);
  return SetResult(r.code, r.extended);
}

// ScanData and ScanDataLabel as BinaryConversion says.
std::wstring ScannerControl::Converted(const std::string &bytes) const {
  std::wstring out;
  switch (m_binaryConversion) {
  case opos::BC_NIBBLE:
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
      out += static_cast<wchar_t>(0x30 + (c >> 4));
      out += static_cast<wchar_t>(0x30 + (c & 0x0F));
    }
    break;
  case opos::BC_DECIMAL:
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
      out += static_cast<wchar_t>(L'0' + c / 100);
      out += static_cast<wchar_t>(L'0' + c / 10 % 10);
      out += static_cast<wchar_t>(L'0' + c % 10);
    }
    break;
  default:
    for (unsigned char c : bytes)
      out += static_cast<wchar_t>(c);
  }
  return out;
}

// ---- input from the service (any thread) ---------------------------------------------

long ScannerControl::MapPower(long physical) const {
  if (m_caps.powerReporting == opos::PR_STANDARD && (physical == opos::PS_OFF || physical == opos::PS_OFFLINE))
    return opos::PS_OFF_OFFLINE;
  return physical;
}

bool ScannerControl::OnLabel(Label label) {
  {
    std::lock_guard lock(m_lock);
    if (!m_open || !m_enabled || m_input.size() >= kQueueLimit) return false;
    QueuedEvent ev{EventKind::Data, ++m_sequence, std::move(label)};
    m_input.push_back(std::move(ev));
    ++m_dataCount;
    if (m_autoDisable) {
      m_enabled = false;
      m_powerState = opos::PS_UNKNOWN;
    }
  }
  PostDeliver();
  return true;
}

void ScannerControl::OnInputError(long resultCode, long resultCodeExtended) {
  {
    std::lock_guard lock(m_lock);
    if (!m_open || !m_enabled || m_input.size() >= kQueueLimit) return;
    QueuedEvent ev{EventKind::Error, ++m_sequence, {}, resultCode, resultCodeExtended};
    m_input.push_back(std::move(ev));
    m_state = opos::S_ERROR;
  }
  PostDeliver();
}

void ScannerControl::OnPowerState(long powerState) {
  {
    std::lock_guard lock(m_lock);
    if (!m_open || !m_enabled || !m_powerNotify || !m_caps.powerReporting) return;
    const long mapped = MapPower(powerState);
    if (mapped == m_powerState) return;
    m_powerState = mapped;
    QueueOther({EventKind::Status, 0, {}, mapped});
  }
  PostDeliver();
}

void ScannerControl::OnStatusUpdate(long status) {
  {
    std::lock_guard lock(m_lock);
    if (!m_open) return;
    QueueOther({EventKind::Status, 0, {}, status});
  }
  PostDeliver();
}

void ScannerControl::OnDirectIOEvent(long eventNumber, long data, std::wstring text) {
  {
    std::lock_guard lock(m_lock);
    if (!m_open) return;
    QueueOther({EventKind::DirectIO, 0, {}, eventNumber, data, std::move(text)});
  }
  PostDeliver();
}

bool ScannerControl::InputEnabled() {
  std::lock_guard lock(m_lock);
  return m_open && m_enabled;
}

// Called with m_lock held.
void ScannerControl::QueueOther(QueuedEvent ev) {
  if (m_other.size() >= kQueueLimit) return;
  ev.sequence = ++m_sequence;
  m_other.push_back(std::move(ev));
}

// ---- delivery, on the thread that created the control ----------------------------------

void ScannerControl::PostDeliver() {
  if (!m_deliverPosted.exchange(true)) PostMessageW(m_eventWindow, WM_DELIVER, 0, 0);
}

LRESULT CALLBACK ScannerControl::EventWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
  } else if (msg == WM_DELIVER) {
    auto *self = reinterpret_cast<ScannerControl *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
      try {
        self->Deliver();
      } catch (...) {
      }
    }
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void ScannerControl::Deliver() {
  m_deliverPosted = false;
  if (m_firing || m_containerFreeze > 0) return; // the event in progress reposts when it ends
  if (m_inCall > 0) {
    m_deliverySkipped = true;
    return;
  }
  AddRef();
  bool more = false;
  for (int n = 0;; ++n) {
    QueuedEvent ev{EventKind::Status, 0};
    bool delivered = false;
    {
      std::lock_guard lock(m_lock);
      if (!m_open || m_freezeEvents) break;
      const bool inputReady = !m_input.empty() && m_dataEventEnabled;
      const bool otherReady = !m_other.empty();
      if (!inputReady && !otherReady) break;
      if (n == kEventsPerMessage) {
        more = true;
        break;
      }
      if (inputReady && (!otherReady || m_input.front().sequence < m_other.front().sequence)) {
        ev = std::move(m_input.front());
        m_input.pop_front();
        m_dataEventEnabled = false;
        if (ev.kind == EventKind::Data) {
          --m_dataCount;
          m_scanData = ev.label.raw;
          m_scanDataLabel = m_decodeData ? ev.label.data : std::string();
          m_scanDataType = m_decodeData ? ev.label.type : opos::SCAN_SDT_UNKNOWN;
          delivered = true;
        }
      } else {
        ev = std::move(m_other.front());
        m_other.pop_front();
      }
    }
    if (delivered) m_service->LabelDelivered();
    Fire(ev);
  }
  if (more) PostDeliver();
  Release();
}

void ScannerControl::Fire(QueuedEvent &ev) {
  const std::vector<ComPtr<IDispatch>> sinks = m_connectionPoint->Sinks();
  m_firing = true;
  VARIANTARG args[4];
  for (VARIANTARG &a : args)
    VariantInit(&a);
  DISPPARAMS params{args, nullptr, 1, 0};
  DISPID id = opos::EVENT_DATA;
  long response = opos::ER_CLEAR;
  long data = ev.b;
  BSTR text = nullptr;
  switch (ev.kind) {
  case EventKind::Data:
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = 0;
    break;
  case EventKind::Status:
    id = opos::EVENT_STATUSUPDATE;
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = ev.a;
    break;
  case EventKind::Error: // ErrorEvent(ResultCode, ResultCodeExtended, ErrorLocus, *ErrorResponse)
    id = opos::EVENT_ERROR;
    params.cArgs = 4;
    V_VT(&args[3]) = VT_I4;
    V_I4(&args[3]) = ev.a;
    V_VT(&args[2]) = VT_I4;
    V_I4(&args[2]) = ev.b;
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = opos::EL_INPUT;
    V_VT(&args[0]) = VT_BYREF | VT_I4;
    V_I4REF(&args[0]) = &response;
    break;
  case EventKind::DirectIO: // DirectIOEvent(EventNumber, *pData, *pString)
    id = opos::EVENT_DIRECTIO;
    params.cArgs = 3;
    text = SysAllocStringLen(ev.text.data(), static_cast<UINT>(ev.text.size()));
    V_VT(&args[2]) = VT_I4;
    V_I4(&args[2]) = ev.a;
    V_VT(&args[1]) = VT_BYREF | VT_I4;
    V_I4REF(&args[1]) = &data;
    V_VT(&args[0]) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&args[0]) = &text;
    break;
  }
  for (const ComPtr<IDispatch> &sink : sinks) {
    UINT argErr = 0;
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr);
  }
  SysFreeString(text);
  m_firing = false;
  if (ev.kind == EventKind::Error) {
    std::lock_guard lock(m_lock);
    if (response == opos::ER_CLEAR) {
      m_input.clear();
      m_dataCount = 0;
    }
    if (m_open) m_state = opos::S_IDLE;
  }
}

// ---- IConnectionPointContainer, IProvideClassInfo2 ------------------------------------

STDMETHODIMP ScannerControl::EnumConnectionPoints(IEnumConnectionPoints **ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = new (std::nothrow) PointEnumerator(m_connectionPoint.get());
  return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ScannerControl::FindConnectionPoint(REFIID iid, IConnectionPoint **ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (iid != kScannerEventsIid) return CONNECT_E_NOCONNECTION;
  *ppCP = m_connectionPoint.get();
  AddRef();
  return S_OK;
}

STDMETHODIMP ScannerControl::GetClassInfo(ITypeInfo **ppTI) {
  if (!ppTI) return E_POINTER;
  *ppTI = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ScannerControl::GetGUID(DWORD kind, GUID *pGuid) {
  if (!pGuid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *pGuid = GUID_NULL;
    return E_INVALIDARG;
  }
  *pGuid = kScannerEventsIid;
  return S_OK;
}

// ---- IOleObject -----------------------------------------------------------------------

STDMETHODIMP ScannerControl::SetClientSite(IOleClientSite *site) {
  m_site = ComPtr<IOleClientSite>(site);
  if (!site) m_inPlaceSite.Reset();
  return S_OK;
}

STDMETHODIMP ScannerControl::GetClientSite(IOleClientSite **site) {
  if (!site) return E_POINTER;
  *site = m_site.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP ScannerControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP ScannerControl::Close(DWORD) {
  InPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP ScannerControl::SetMoniker(DWORD, IMoniker *) { return E_NOTIMPL; }
STDMETHODIMP ScannerControl::GetMoniker(DWORD, DWORD, IMoniker **mk) {
  if (mk) *mk = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP ScannerControl::InitFromData(IDataObject *, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP ScannerControl::GetClipboardData(DWORD, IDataObject **data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ScannerControl::DoVerb(LONG verb, LPMSG, IOleClientSite *site, LONG, HWND parent, LPCRECT rect) {
  switch (verb) {
  case OLEIVERB_PRIMARY:
  case OLEIVERB_SHOW:
  case OLEIVERB_INPLACEACTIVATE:
  case OLEIVERB_UIACTIVATE:
    break;
  case OLEIVERB_HIDE:
    if (m_placeholder) ShowWindow(m_placeholder, SW_HIDE);
    return S_OK;
  default:
    return OLEOBJ_S_INVALIDVERB;
  }
  if (m_placeholder) {
    ShowWindow(m_placeholder, SW_SHOWNA);
    return S_OK;
  }
  if (site && !m_site) m_site = ComPtr<IOleClientSite>(site);
  RECT pos = rect ? *rect : RECT{0, 0, 0, 0};
  if (m_site && SUCCEEDED(m_site.As(m_inPlaceSite)) && m_inPlaceSite->CanInPlaceActivate() == S_OK) {
    m_inPlaceSite->OnInPlaceActivate();
    HWND siteWindow = nullptr;
    if (SUCCEEDED(m_inPlaceSite->GetWindow(&siteWindow)) && siteWindow) parent = siteWindow;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> doc;
    RECT posRect{}, clipRect{};
    OLEINPLACEFRAMEINFO info{sizeof info};
    if (SUCCEEDED(m_inPlaceSite->GetWindowContext(&frame, &doc, &posRect, &clipRect, &info)) && !rect) pos = posRect;
  }
  if (!parent) return E_UNEXPECTED;
  if (pos.right <= pos.left || pos.bottom <= pos.top) pos = {pos.left, pos.top, pos.left + 32, pos.top + 32};
  m_placeholder =
      CreateWindowExW(0, kPlaceholderClass, L"OPOS Scanner", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left, pos.top,
                      pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, Module(), nullptr);
  return m_placeholder ? S_OK : E_FAIL;
}

LRESULT CALLBACK ScannerControl::PlaceholderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    DrawEdge(dc, &rc, EDGE_ETCHED, BF_RECT);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, L"Scanner", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

STDMETHODIMP ScannerControl::EnumVerbs(IEnumOLEVERB **verbs) {
  if (verbs) *verbs = nullptr;
  return OLEOBJ_E_NOVERBS;
}
STDMETHODIMP ScannerControl::Update() { return S_OK; }
STDMETHODIMP ScannerControl::IsUpToDate() { return S_OK; }
STDMETHODIMP ScannerControl::GetUserClassID(CLSID *clsid) {
  if (!clsid) return E_POINTER;
  *clsid = kScannerClsid;
  return S_OK;
}
STDMETHODIMP ScannerControl::GetUserType(DWORD, LPOLESTR *type) {
  if (!type) return E_POINTER;
  static constexpr wchar_t kName[] = L"OPOS Scanner Control";
  *type = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kName));
  if (!*type) return E_OUTOFMEMORY;
  memcpy(*type, kName, sizeof kName);
  return S_OK;
}
STDMETHODIMP ScannerControl::SetExtent(DWORD aspect, SIZEL *size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  m_extent = *size;
  return S_OK;
}
STDMETHODIMP ScannerControl::GetExtent(DWORD aspect, SIZEL *size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = m_extent;
  return S_OK;
}
STDMETHODIMP ScannerControl::Advise(IAdviseSink *, DWORD *cookie) {
  if (cookie) *cookie = 0;
  return E_NOTIMPL;
}
STDMETHODIMP ScannerControl::Unadvise(DWORD) { return E_NOTIMPL; }
STDMETHODIMP ScannerControl::EnumAdvise(IEnumSTATDATA **advise) {
  if (advise) *advise = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP ScannerControl::GetMiscStatus(DWORD, DWORD *status) {
  if (!status) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
            OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
  return S_OK;
}
STDMETHODIMP ScannerControl::SetColorScheme(LOGPALETTE *) { return E_NOTIMPL; }

// ---- IOleInPlaceObject, IOleControl ---------------------------------------------------

STDMETHODIMP ScannerControl::GetWindow(HWND *hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = m_placeholder;
  return m_placeholder ? S_OK : E_FAIL;
}
STDMETHODIMP ScannerControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP ScannerControl::InPlaceDeactivate() {
  if (m_placeholder) {
    DestroyWindow(m_placeholder);
    m_placeholder = nullptr;
  }
  if (m_inPlaceSite) {
    ComPtr<IOleInPlaceSite> site = m_inPlaceSite;
    m_inPlaceSite.Reset();
    site->OnInPlaceDeactivate();
  }
  return S_OK;
}
STDMETHODIMP ScannerControl::UIDeactivate() { return S_OK; }
STDMETHODIMP ScannerControl::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_POINTER;
  if (m_placeholder)
    MoveWindow(m_placeholder, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
  return S_OK;
}
STDMETHODIMP ScannerControl::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }

STDMETHODIMP ScannerControl::GetControlInfo(CONTROLINFO *info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
STDMETHODIMP ScannerControl::OnMnemonic(MSG *) { return S_OK; }
STDMETHODIMP ScannerControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP ScannerControl::FreezeEvents(BOOL freeze) {
  if (freeze)
    ++m_containerFreeze;
  else if (m_containerFreeze > 0 && --m_containerFreeze == 0)
    PostDeliver();
  return S_OK;
}

// ---- IPersistStreamInit: the initial state is four 32-bit words, the
// second a version, the third and fourth the extent in HIMETRIC. ------------

STDMETHODIMP ScannerControl::GetClassID(CLSID *clsid) { return GetUserClassID(clsid); }
STDMETHODIMP ScannerControl::IsDirty() { return S_FALSE; }
STDMETHODIMP ScannerControl::Load(IStream *stream) {
  if (!stream) return E_POINTER;
  if (m_refuseStateStream) return E_FAIL;
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

} // namespace quillon
