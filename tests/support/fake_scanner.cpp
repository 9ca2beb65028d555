// The recording fake scanner control of fake_scanner.h and its class
// registration.
#include "fake_scanner.h"

#include "bstr_leak_check.h"

#include "comkit/window_class.h"

#include <cwchar>
#include <new>

const CLSID kFakeScannerClsid = {0xCCB90182, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
// {5F0D3C21-7A44-4E1B-9C8E-2B6F1A9D4E70}: the fake's own event interface.
const IID kFakeScannerEventsIid = {0x5F0D3C21, 0x7A44, 0x4E1B, {0x9C, 0x8E, 0x2B, 0x6F, 0x1A, 0x9D, 0x4E, 0x70}};

// ---------------------------------------------------------------------------
// Answer book

FakeAnswer &FakeAnswerBook::On(DISPID dispid, WORD kind) {
  FakeAnswer &a = m_standing[{dispid, kind}];
  a = FakeAnswer{};
  return a;
}

FakeAnswer &FakeAnswerBook::Once(DISPID dispid, WORD kind) { return m_once[{dispid, kind}].emplace_back(); }

void FakeAnswerBook::Clear() {
  m_standing.clear();
  m_once.clear();
}

std::optional<FakeAnswer> FakeAnswerBook::Take(DISPID dispid, WORD flags) {
  for (const WORD kind : {flags, WORD{0}}) {
    auto it = m_once.find({dispid, kind});
    if (it != m_once.end() && !it->second.empty()) {
      FakeAnswer a = std::move(it->second.front());
      it->second.pop_front();
      return a;
    }
  }
  for (const WORD kind : {flags, WORD{0}}) {
    auto it = m_standing.find({dispid, kind});
    if (it != m_standing.end()) return it->second;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// The fake control

ComPtr<FakeScanner> FakeScanner::Create(std::shared_ptr<FakeAnswerBook> answers) {
  ComPtr<FakeScanner> p;
  p.Attach(new FakeScanner(answers ? std::move(answers) : std::make_shared<FakeAnswerBook>()));
  return p;
}

FakeScanner::FakeScanner(std::shared_ptr<FakeAnswerBook> answers)
    : m_answers(std::move(answers)), m_point(*Unknown(), kFakeScannerEventsIid),
      m_propertyPoint(*Unknown(), IID_IPropertyNotifySink, comkit::ConnectionPoint::Kind::Interface) {
  // The event interface is a dispinterface: any IDispatch will do. The
  // property notices need their own interface.
  m_point.OnChange([this](bool advised) { m_lifecycle.push_back(advised ? L"Advise" : L"Unadvise"); });
  m_propertyPoint.OnChange(
      [this](bool advised) { m_lifecycle.push_back(advised ? L"Advise(property notices)" : L"Unadvise"); });
}

FakeScanner::~FakeScanner() {
  if (m_deliveryWindow) DestroyWindow(m_deliveryWindow);
}

namespace {
const wchar_t kDeliveryClass[] = L"QuillonFakeDelivery";
const UINT kDeliverMessage = WM_APP + 0x44;
} // namespace

LRESULT CALLBACK FakeScanner::DeliveryWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != kDeliverMessage) return DefWindowProcW(hwnd, msg, wp, lp);
  auto *self = reinterpret_cast<FakeScanner *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return 0;
  try {
    if (self->m_peekBetween) {
      MSG timer;
      PeekMessageW(&timer, hwnd, WM_TIMER, WM_TIMER, PM_NOREMOVE);
    }
    --self->m_postedLeft;
    self->FireDataEvent(0);
  } catch (...) {
  }
  return 0;
}

void FakeScanner::PostDataEvents(int count, bool peekBetween) {
  if (!m_deliveryWindow) {
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = DeliveryWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kDeliveryClass;
    comkit::RegisterClassOnce(wc);
    m_deliveryWindow = CreateWindowExW(0, kDeliveryClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_deliveryWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  m_peekBetween = peekBetween;
  for (int i = 0; i < count; ++i)
    if (PostMessageW(m_deliveryWindow, kDeliverMessage, 0, 0)) ++m_postedLeft;
}

std::vector<RecordedCall> FakeScanner::CallsTo(DISPID dispid, WORD kind) const {
  std::vector<RecordedCall> out;
  for (const RecordedCall &c : m_calls)
    if (c.dispid == dispid && (kind == 0 || c.flags == kind)) out.push_back(c);
  return out;
}

int FakeScanner::Fire(DISPID dispid, const std::vector<VariantValue> &args) {
  // Arguments go last to first; the values stay owned by args.
  std::vector<VARIANT> rgvarg;
  for (auto it = args.rbegin(); it != args.rend(); ++it)
    rgvarg.push_back(it->Get());
  DISPPARAMS params{rgvarg.empty() ? nullptr : rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
  // A handler may unadvise (or call back into this object) while it runs.
  return m_point.Fire(dispid, params);
}

BSTR FakeScanner::HandOut(const std::wstring &s) {
  BSTR b = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  if (b) {
    ++m_bstrsHandedOut;
    BstrLeakCheck::NoteHandedOut(b);
  }
  return b;
}

void FakeScanner::HandOutVariant(const VARIANT &v) {
  if (v.vt == VT_BSTR && v.bstrVal) {
    ++m_bstrsHandedOut;
    BstrLeakCheck::NoteHandedOut(v.bstrVal);
  }
}

bool FakeScanner::Refuses(REFIID riid) const {
  return ((riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) && (m_quirks & kFakeNoClassInfo)) ||
         (riid == IID_IConnectionPointContainer && (m_quirks & kFakeNoConnectionPoints));
}

STDMETHODIMP FakeScanner::GetTypeInfoCount(UINT *pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP FakeScanner::GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP FakeScanner::GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) { return DISP_E_UNKNOWNNAME; }

STDMETHODIMP FakeScanner::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *pParams, VARIANT *pResult,
                                 EXCEPINFO *pExcepInfo, UINT *puArgErr) {
  try {
    if (puArgErr) *puArgErr = 0;
    return InvokeImpl(dispid, wFlags, pParams, pResult, pExcepInfo);
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT FakeScanner::InvokeImpl(DISPID dispid, WORD wFlags, DISPPARAMS *pParams, VARIANT *pResult,
                                EXCEPINFO *pExcepInfo) {
  if (pResult) VariantInit(pResult);

  RecordedCall call{dispid, wFlags, {}, {}, pResult != nullptr};
  if (pParams) {
    for (UINT i = pParams->cArgs; i-- > 0;) {
      const VARIANT &a = pParams->rgvarg[i];
      const bool dangling = (a.vt & VT_BYREF) && !a.byref;
      call.args.push_back(RecordedArg{a.vt, dangling ? VariantValue() : VariantValue(a)});
    }
    for (UINT i = 0; i < pParams->cNamedArgs && pParams->rgdispidNamedArgs; ++i)
      call.namedArgs.push_back(pParams->rgdispidNamedArgs[i]);
  }
  m_calls.push_back(std::move(call));
  for (const RecordedArg &a : m_calls.back().args)
    if (a.value.vt() == VT_BSTR) BstrLeakCheck::Exclude(a.value.Get().bstrVal);

  const bool isPut = (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  // A put names its one value DISPID_PROPERTYPUT, as automation requires.
  if (isPut && (!pParams || pParams->cArgs != 1 || pParams->cNamedArgs != 1 || !pParams->rgdispidNamedArgs ||
                pParams->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_PARAMNOTFOUND;

  std::optional<FakeAnswer> answer = m_answers->Take(dispid, wFlags);
  if (!answer && m_answers->GetBehaviour()) {
    const RecordedCall recorded = m_calls.back(); // the behaviour may call back into this object
    answer = m_answers->GetBehaviour()(*this, recorded);
  }
  if (answer && answer->action) answer->action();
  if (answer && FAILED(answer->hr)) {
    if (answer->hr == DISP_E_EXCEPTION && pExcepInfo) {
      *pExcepInfo = EXCEPINFO{};
      pExcepInfo->scode = answer->scode;
      pExcepInfo->wCode = answer->wCode;
      pExcepInfo->bstrSource = HandOut(L"FakeScanner");
      if (!answer->description.empty()) pExcepInfo->bstrDescription = HandOut(answer->description);
    }
    return answer->hr;
  }

  if (answer && pParams) {
    for (UINT i = 0; i < pParams->cArgs; ++i) {
      VARIANT &a = pParams->rgvarg[i];
      if (a.vt == (VT_BYREF | VT_BSTR) && a.pbstrVal && answer->stringRef) {
        // In/out: the callee frees what it was given and hands back a new one.
        SysFreeString(*a.pbstrVal);
        *a.pbstrVal = HandOut(*answer->stringRef);
      } else if (a.vt == (VT_BYREF | VT_I4) && a.plVal && answer->longRef) {
        *a.plVal = *answer->longRef;
      }
    }
  }

  if (isPut) {
    VariantValue &stored = m_properties[dispid];
    stored = VariantValue(pParams->rgvarg[0]);
    if (stored.vt() == VT_BSTR) BstrLeakCheck::Exclude(stored.Get().bstrVal);
  }

  if (pResult) {
    HRESULT hr = S_OK;
    if (answer && !answer->result.IsEmpty()) {
      hr = answer->result.CopyTo(pResult);
    } else if (wFlags & DISPATCH_PROPERTYGET) {
      auto it = m_properties.find(dispid);
      if (it != m_properties.end()) hr = it->second.CopyTo(pResult);
    } else if (wFlags & DISPATCH_METHOD) {
      pResult->vt = VT_I4;
      pResult->lVal = 0;
    }
    if (FAILED(hr)) return hr;
    HandOutVariant(*pResult);
  }
  return S_OK;
}

STDMETHODIMP FakeScanner::SetClientSite(IOleClientSite *pClientSite) {
  try {
    m_lifecycle.push_back(pClientSite ? L"SetClientSite" : L"SetClientSite(null)");
    m_site = ComPtr<IOleClientSite>(pClientSite);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::GetClientSite(IOleClientSite **ppClientSite) {
  if (!ppClientSite) return E_POINTER;
  *ppClientSite = m_site.Get();
  if (*ppClientSite) (*ppClientSite)->AddRef();
  return S_OK;
}

STDMETHODIMP FakeScanner::SetHostNames(LPCOLESTR, LPCOLESTR) {
  try {
    m_lifecycle.push_back(L"SetHostNames");
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::Close(DWORD) {
  try {
    m_lifecycle.push_back(L"Close");
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::GetMoniker(DWORD, DWORD, IMoniker **ppmk) {
  if (ppmk) *ppmk = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakeScanner::GetClipboardData(DWORD, IDataObject **ppDataObject) {
  if (ppDataObject) *ppDataObject = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakeScanner::DoVerb(LONG iVerb, LPMSG, IOleClientSite *, LONG, HWND, LPCRECT) {
  try {
    m_lifecycle.push_back(L"DoVerb(" + std::to_wstring(iVerb) + L")");
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::EnumVerbs(IEnumOLEVERB **ppEnumOleVerb) {
  if (ppEnumOleVerb) *ppEnumOleVerb = nullptr;
  return OLEOBJ_E_NOVERBS;
}

STDMETHODIMP FakeScanner::GetUserClassID(CLSID *pClsid) {
  if (!pClsid) return E_POINTER;
  *pClsid = kFakeScannerClsid;
  return S_OK;
}

STDMETHODIMP FakeScanner::GetUserType(DWORD, LPOLESTR *pszUserType) {
  if (pszUserType) *pszUserType = nullptr;
  return OLE_S_USEREG;
}

STDMETHODIMP FakeScanner::SetExtent(DWORD, SIZEL *psizel) {
  try {
    if (!psizel) return E_POINTER;
    m_lifecycle.push_back(L"SetExtent");
    m_extent = *psizel;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::GetExtent(DWORD, SIZEL *psizel) {
  if (!psizel) return E_POINTER;
  *psizel = m_extent;
  return S_OK;
}

STDMETHODIMP FakeScanner::Advise(IAdviseSink *, DWORD *pdwConnection) {
  if (pdwConnection) *pdwConnection = 0;
  return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP FakeScanner::EnumAdvise(IEnumSTATDATA **ppenumAdvise) {
  if (ppenumAdvise) *ppenumAdvise = nullptr;
  return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP FakeScanner::GetMiscStatus(DWORD, DWORD *pdwStatus) {
  try {
    if (!pdwStatus) return E_POINTER;
    m_lifecycle.push_back(L"GetMiscStatus");
    *pdwStatus = m_misc;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::GetClassID(CLSID *pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = kFakeScannerClsid;
  return S_OK;
}

STDMETHODIMP FakeScanner::Load(LPSTREAM pStm) {
  try {
    if (!pStm) return E_POINTER;
    m_lifecycle.push_back(L"Load");
    if (m_quirks & kFakeRefusesStateStream) return E_FAIL;
    m_initState.clear();
    BYTE buffer[256];
    for (;;) {
      ULONG got = 0;
      const HRESULT hr = pStm->Read(buffer, sizeof buffer, &got);
      if (FAILED(hr)) return hr;
      m_initState.insert(m_initState.end(), buffer, buffer + got);
      if (got == 0 || hr == S_FALSE) break;
    }
    m_loaded = true;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::Save(LPSTREAM pStm, BOOL) {
  if (!pStm) return E_POINTER;
  if (m_initState.empty()) return S_OK;
  return pStm->Write(m_initState.data(), static_cast<ULONG>(m_initState.size()), nullptr);
}

STDMETHODIMP FakeScanner::GetSizeMax(ULARGE_INTEGER *pCbSize) {
  if (!pCbSize) return E_POINTER;
  pCbSize->QuadPart = m_initState.size();
  return S_OK;
}

STDMETHODIMP FakeScanner::InitNew() {
  try {
    m_lifecycle.push_back(L"InitNew");
    m_initNew = true;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP FakeScanner::GetClassInfo(ITypeInfo **ppTI) {
  if (ppTI) *ppTI = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakeScanner::GetGUID(DWORD dwGuidKind, GUID *pGUID) {
  if (!pGUID) return E_POINTER;
  if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *pGUID = kFakeScannerEventsIid;
  return S_OK;
}

STDMETHODIMP FakeScanner::EnumConnectionPoints(IEnumConnectionPoints **ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  if (m_quirks & kFakeNoPointEnumeration) return E_NOTIMPL;
  // Property notices first, then the events.
  return comkit::EnumeratePoints({&m_propertyPoint, &m_point}, ppEnum);
}

STDMETHODIMP FakeScanner::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  comkit::ConnectionPoint *point = riid == kFakeScannerEventsIid     ? &m_point
                                   : riid == IID_IPropertyNotifySink ? &m_propertyPoint
                                                                     : nullptr;
  if (!point) return CONNECT_E_NOCONNECTION;
  *ppCP = point;
  AddRef();
  return S_OK;
}

// ---------------------------------------------------------------------------
// Registration

HRESULT FakeScannerRegistration::Create(REFIID riid, void **ppv) {
  if (FAILED(m_createResult)) return m_createResult;
  ComPtr<FakeScanner> fake = FakeScanner::Create(m_answers);
  fake->SetMiscStatus(m_misc);
  fake->SetQuirks(m_quirks);
  const HRESULT hr = fake->QueryInterface(riid, ppv);
  if (SUCCEEDED(hr)) m_instances.push_back(fake);
  return hr;
}

FakeScannerRegistration::FakeScannerRegistration(REFCLSID clsid) : m_answers(std::make_shared<FakeAnswerBook>()) {
  m_factory.Attach(new comkit::ClassFactory([this](REFIID riid, void **ppv) { return Create(riid, ppv); }));
  m_hr = CoRegisterClassObject(clsid, m_factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
}

FakeScannerRegistration::~FakeScannerRegistration() {
  if (SUCCEEDED(m_hr)) CoRevokeClassObject(m_cookie);
  m_factory->Withdraw(); // COM may hold the factory a little longer
}
