// The control site of olecontrol.h: its window, the control made and activated
// in it, and the control's events handed to the owning dialog.
#include "olecontrol.h"

#include "dialog.h"
#include "winapp.h"

#include "comkit/window_class.h"

#include <cwchar>
#include <new>

namespace {

const wchar_t kSiteClass[] = L"QuillonControlSite";

ATOM RegisterSiteClass(WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kSiteClass;
  return comkit::RegisterClassOnce(wc);
}

LONG HimetricFromPixels(LONG pixels, int dpi) { return MulDiv(pixels, 2540, dpi); }

// The default source dispinterface of a coclass: the interface it marks as
// both default and source.
HRESULT DefaultSourceOf(ITypeInfo *pCoclass, IID &iid) {
  TYPEATTR *attr = nullptr;
  HRESULT hr = pCoclass->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  const WORD cImplTypes = attr->cImplTypes;
  pCoclass->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < cImplTypes; ++i) {
    INT flags = 0;
    if (FAILED(pCoclass->GetImplTypeFlags(i, &flags))) continue;
    if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE))
      continue;
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> source;
    if (FAILED(pCoclass->GetRefTypeOfImplType(i, &ref)) || FAILED(pCoclass->GetRefTypeInfo(ref, &source))) continue;
    TYPEATTR *sourceAttr = nullptr;
    if (FAILED(source->GetTypeAttr(&sourceAttr))) continue;
    iid = sourceAttr->guid;
    source->ReleaseTypeAttr(sourceAttr);
    return S_OK;
  }
  return E_NOINTERFACE;
}

// From the control's class information: IProvideClassInfo2, else the coclass
// that IProvideClassInfo describes.
HRESULT SourceFromClassInfo(IUnknown *pControl, IID &iid) {
  ComPtr<IProvideClassInfo2> info2;
  if (SUCCEEDED(pControl->QueryInterface(IID_IProvideClassInfo2, info2.PutVoid())) &&
      SUCCEEDED(info2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &iid)))
    return S_OK;

  ComPtr<IProvideClassInfo> info;
  HRESULT hr = pControl->QueryInterface(IID_IProvideClassInfo, info.PutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<ITypeInfo> coclass;
  hr = info->GetClassInfo(&coclass);
  if (FAILED(hr)) return hr;
  return coclass ? DefaultSourceOf(coclass.Get(), iid) : E_NOINTERFACE;
}

// The newest version of a type library registered under HKCR\TypeLib (its
// version keys are "major.minor" in hexadecimal).
bool NewestRegisteredVersion(const wchar_t *pszLibid, WORD &major, WORD &minor) {
  ScopedRegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, CString(L"TypeLib\\") + pszLibid, KEY_READ) != ERROR_SUCCESS) return false;
  bool found = false;
  for (DWORD i = 0; i < 1024; ++i) {
    wchar_t name[64] = L"";
    DWORD cchName = 64;
    const LSTATUS status = RegEnumKeyExW(key.Get(), i, name, &cchName, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    wchar_t *end = nullptr;
    const unsigned long nMajor = wcstoul(name, &end, 16);
    if (end == name || *end != L'.') continue;
    const wchar_t *pszMinor = end + 1;
    const unsigned long nMinor = wcstoul(pszMinor, &end, 16);
    if (end == pszMinor || *end || nMajor > 0xFFFF || nMinor > 0xFFFF) continue;
    if (found && (nMajor < major || (nMajor == major && nMinor <= minor))) continue;
    major = static_cast<WORD>(nMajor);
    minor = static_cast<WORD>(nMinor);
    found = true;
  }
  return found;
}

// The type library registered for the class (HKCR\CLSID\{clsid}\TypeLib).
HRESULT LoadRegisteredTypeLib(REFCLSID clsid, ComPtr<ITypeLib> &lib) {
  wchar_t clsidText[40] = L"";
  StringFromGUID2(clsid, clsidText, 40);
  ScopedRegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, CString(L"CLSID\\") + clsidText + L"\\TypeLib", KEY_READ) != ERROR_SUCCESS)
    return TYPE_E_LIBNOTREGISTERED;
  wchar_t libText[40] = L"";
  DWORD cb = sizeof libText - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE *>(libText), &cb) != ERROR_SUCCESS ||
      type != REG_SZ)
    return TYPE_E_LIBNOTREGISTERED;
  GUID libid{};
  WORD major = 0;
  WORD minor = 0;
  if (FAILED(IIDFromString(libText, &libid)) || !NewestRegisteredVersion(libText, major, minor))
    return TYPE_E_LIBNOTREGISTERED;
  return LoadRegTypeLib(libid, major, minor, LANG_NEUTRAL, &lib);
}

// From the type library of the control's class: the one registered for the
// class, else the one its automation interface comes from.
HRESULT SourceFromTypeLib(REFCLSID clsid, IDispatch *pDispatch, IID &iid) {
  auto fromLibrary = [&](ITypeLib *pLib) {
    ComPtr<ITypeInfo> coclass;
    const HRESULT hr = pLib->GetTypeInfoOfGuid(clsid, &coclass);
    if (FAILED(hr)) return hr;
    return coclass ? DefaultSourceOf(coclass.Get(), iid) : E_NOINTERFACE;
  };
  ComPtr<ITypeLib> lib;
  if (SUCCEEDED(LoadRegisteredTypeLib(clsid, lib)) && lib && SUCCEEDED(fromLibrary(lib.Get()))) return S_OK;
  ComPtr<ITypeInfo> info;
  UINT index = 0;
  if (!pDispatch || FAILED(pDispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || !info ||
      FAILED(info->GetContainingTypeLib(&lib, &index)) || !lib)
    return TYPE_E_LIBNOTREGISTERED;
  return fromLibrary(lib.Get());
}

// Loads a control's stored state from bytes.
template <class Persist> HRESULT LoadFromBytes(Persist *pPersist, const std::vector<BYTE> &bytes) {
  ComPtr<IStream> stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  if (SUCCEEDED(hr)) hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  const LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(hr)) hr = pPersist->Load(stream.Get());
  return hr;
}

} // namespace

CString ControlDisplayName(REFCLSID clsid) {
  wchar_t clsidText[40] = L"";
  StringFromGUID2(clsid, clsidText, 40);
  CString name = clsidText;
  LPOLESTR progId = nullptr;
  if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId) name = CString(progId) + L" " + clsidText;
  CoTaskMemFree(progId);
  return name;
}

// Receives the control's events and hands them to the site.
class COleControlSite::EventSink final : public comkit::Object<EventSink, IDispatch> {
public:
  EventSink(COleControlSite *site, const IID &iid) : m_site(site), m_iid(iid) {}

  // The event interface, a dispinterface, is IDispatch.
  void *OtherInterface(REFIID riid) { return riid == m_iid ? static_cast<IDispatch *>(this) : nullptr; }
  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override {
    if (pctinfo) *pctinfo = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS *pParams, VARIANT *, EXCEPINFO *, UINT *) override {
    if (!m_site) return S_OK;
    static const DISPPARAMS kNoParams{};
    try {
      m_site->FireEvent(dispid, pParams ? *pParams : kNoParams);
    } catch (...) {
      return E_UNEXPECTED; // the dialog reports its own failures; nothing else may cross
    }
    return S_OK;
  }
  void Disconnect() { m_site = nullptr; }

private:
  ~EventSink() = default;
  COleControlSite *m_site;
  IID m_iid;
};

HRESULT COleControlSite::Create(HWND hwndParent, UINT nID, DWORD dwStyle, DWORD dwExStyle, const RECT &rcPixels,
                                REFCLSID clsid, const std::vector<BYTE> &initState, HWND hwndInsertAfter,
                                ComPtr<COleControlSite> &site) {
  site.Attach(new COleControlSite());
  const HRESULT hr =
      site->CreateWindowAndControl(hwndParent, nID, dwStyle, dwExStyle, rcPixels, clsid, initState, hwndInsertAfter);
  if (FAILED(hr)) site.Reset();
  return hr;
}

COleControlSite *COleControlSite::FromWindow(HWND hwnd) {
  if (!hwnd) return nullptr;
  wchar_t name[64];
  if (!GetClassNameW(hwnd, name, 64) || lstrcmpW(name, kSiteClass) != 0) return nullptr;
  return reinterpret_cast<COleControlSite *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

HRESULT COleControlSite::CreateWindowAndControl(HWND hwndParent, UINT nID, DWORD dwStyle, DWORD dwExStyle,
                                                const RECT &rc, REFCLSID clsid, const std::vector<BYTE> &initState,
                                                HWND hwndInsertAfter) {
  if (!RegisterSiteClass(SiteWndProc)) return HRESULT_FROM_WIN32(GetLastError());
  m_nID = nID;
  // The window holds a reference of its own, released when it is destroyed.
  AddRef();
  const HWND hwnd =
      CreateWindowExW(dwExStyle, kSiteClass, L"", WS_CHILD | WS_CLIPSIBLINGS | dwStyle, rc.left, rc.top,
                      rc.right - rc.left, rc.bottom - rc.top, hwndParent,
                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), GetModuleHandleW(nullptr), this);
  if (!hwnd) {
    Release();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  if (hwndInsertAfter) SetWindowPos(hwnd, hwndInsertAfter, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  m_clsid = clsid;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject, m_object.PutVoid());
  if (SUCCEEDED(hr)) {
    DWORD misc = 0;
    m_object->GetMiscStatus(DVASPECT_CONTENT, &misc);
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst) m_object->SetClientSite(this);
    hr = InitializeState(initState);
    if (SUCCEEDED(hr) && !siteFirst) m_object->SetClientSite(this);
    if (SUCCEEDED(hr)) hr = m_object.QueryInto(IID_IDispatch, m_dispatch.PutVoid());
  }
  if (FAILED(hr)) {
    DestroyWindow(hwnd); // closes the control and drops the window's reference
    return hr;
  }

  m_object->SetHostNames(AfxGetAppName(), nullptr);
  RECT client;
  ::GetClientRect(hwnd, &client);
  const HDC hdc = GetDC(hwnd);
  SIZEL extent{HimetricFromPixels(client.right, GetDeviceCaps(hdc, LOGPIXELSX)),
               HimetricFromPixels(client.bottom, GetDeviceCaps(hdc, LOGPIXELSY))};
  ReleaseDC(hwnd, hdc);
  m_object->SetExtent(DVASPECT_CONTENT, &extent);
  // Controls that are invisible at run time may refuse; they work all the same.
  m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, hwnd, &client);
  ConnectEvents();
  return S_OK;
}

HRESULT COleControlSite::InitializeState(const std::vector<BYTE> &initState) {
  ComPtr<IPersistStreamInit> persistInit;
  if (SUCCEEDED(m_object.QueryInto(IID_IPersistStreamInit, persistInit.PutVoid()))) {
    // A control that cannot take the stored state (another version of it, or
    // one that keeps no state) starts from its own defaults instead.
    if (!initState.empty() && SUCCEEDED(LoadFromBytes(persistInit.Get(), initState))) return S_OK;
    return persistInit->InitNew();
  }
  // Without InitNew the stored state is all a control can be given; it is
  // optional, so a control that refuses it is used as it is.
  ComPtr<IPersistStream> persist;
  if (!initState.empty() && SUCCEEDED(m_object.QueryInto(IID_IPersistStream, persist.PutVoid())))
    LoadFromBytes(persist.Get(), initState);
  return S_OK;
}

// The event source is looked for in turn in the control's class information,
// in the type library of its class, and among its connection points; the
// first that accepts the sink is used. A control without any gets a notice,
// shown once the window is up.
void COleControlSite::ConnectEvents() {
  ComPtr<IConnectionPointContainer> container;
  if (SUCCEEDED(m_object.QueryInto(IID_IConnectionPointContainer, container.PutVoid())) && container) {
    IID iid{};
    if (SUCCEEDED(SourceFromClassInfo(m_object.Get(), iid)) && ConnectToSource(container.Get(), iid)) return;
    if (SUCCEEDED(SourceFromTypeLib(m_clsid, m_dispatch.Get(), iid)) && ConnectToSource(container.Get(), iid)) return;
    if (ConnectToAnyPoint(container.Get())) return;
  }
  ::PostMessageW(m_hwnd, kNoEventsMessage, 0, 0);
}

bool COleControlSite::ConnectToSource(IConnectionPointContainer *pContainer, const IID &iid) {
  ComPtr<IConnectionPoint> point;
  return SUCCEEDED(pContainer->FindConnectionPoint(iid, &point)) && point && ConnectTo(point.Get(), iid);
}

bool COleControlSite::ConnectToAnyPoint(IConnectionPointContainer *pContainer) {
  ComPtr<IEnumConnectionPoints> points;
  if (FAILED(pContainer->EnumConnectionPoints(&points)) || !points) return false;
  for (int n = 0; n < 64; ++n) {
    ComPtr<IConnectionPoint> point;
    ULONG fetched = 0;
    if (points->Next(1, &point, &fetched) != S_OK || fetched != 1 || !point) return false;
    IID iid{};
    // Property change notices go to an interface of their own, not to a
    // dispatch sink.
    if (FAILED(point->GetConnectionInterface(&iid)) || iid == IID_IPropertyNotifySink) continue;
    if (ConnectTo(point.Get(), iid)) return true;
  }
  return false;
}

bool COleControlSite::ConnectTo(IConnectionPoint *pPoint, const IID &iid) {
  ComPtr<IDispatch> sink;
  sink.Attach(new (std::nothrow) EventSink(this, iid));
  if (!sink) return false;
  DWORD cookie = 0;
  if (FAILED(pPoint->Advise(sink.Get(), &cookie))) {
    static_cast<EventSink *>(sink.Get())->Disconnect();
    return false;
  }
  m_connection = ComPtr<IConnectionPoint>(pPoint);
  m_sink = sink;
  m_dwCookie = cookie;
  return true;
}

void COleControlSite::ReportNoEvents() {
  CString text;
  text.Format(L"The control %s (item %u of this window) has no events that could be connected.\n\n"
              L"Looked for: its class information (IProvideClassInfo2, IProvideClassInfo), the type library of "
              L"its class (the registered one and the one its automation interface comes from), and its "
              L"connection points.\n\nThe program carries on, but it will not hear of anything the control "
              L"reports through events.",
              static_cast<const wchar_t *>(ControlDisplayName(m_clsid)), m_nID);
  MessageBoxW(AfxGetModalOwner(::GetParent(m_hwnd)), text, AfxGetAppName(), MB_OK | MB_ICONWARNING);
}

void COleControlSite::Close() {
  if (m_sink) static_cast<EventSink *>(m_sink.Get())->Disconnect();
  if (m_connection) m_connection->Unadvise(m_dwCookie);
  m_connection.Reset();
  m_sink.Reset();
  m_dispatch.Reset();
  if (m_object) {
    ComPtr<IOleInPlaceObject> inplace;
    if (SUCCEEDED(m_object.QueryInto(IID_IOleInPlaceObject, inplace.PutVoid()))) inplace->InPlaceDeactivate();
    m_object->Close(OLECLOSE_NOSAVE);
    m_object->SetClientSite(nullptr);
    m_object.Reset();
  }
}

void COleControlSite::FireEvent(DISPID dispid, const DISPPARAMS &params) {
  CDialog *dlg = CDialog::FromHandle(::GetParent(m_hwnd));
  if (dlg) dlg->RouteControlEvent(m_nID, dispid, params);
}

COleControlSite::~COleControlSite() { Close(); }

LRESULT CALLBACK COleControlSite::SiteWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto *site = static_cast<COleControlSite *>(reinterpret_cast<CREATESTRUCTW *>(lp)->lpCreateParams);
    site->m_hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site));
  }
  auto *site = reinterpret_cast<COleControlSite *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!site) return DefWindowProcW(hwnd, msg, wp, lp);
  try {
    return site->HandleMessage(msg, wp, lp);
  } catch (const std::exception &e) {
    ReportException(::GetParent(hwnd), e);
  } catch (...) {
    ReportException(::GetParent(hwnd), std::exception());
  }
  return 0;
}

LRESULT COleControlSite::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  const HWND hwnd = m_hwnd;
  switch (msg) {
  case WM_SIZE:
    if (m_object) {
      ComPtr<IOleInPlaceObject> inplace;
      if (SUCCEEDED(m_object.QueryInto(IID_IOleInPlaceObject, inplace.PutVoid()))) {
        RECT rc{0, 0, LOWORD(lp), HIWORD(lp)};
        inplace->SetObjectRects(&rc, &rc);
      }
    }
    break;
  case kNoEventsMessage:
    ReportNoEvents();
    return 0;
  case WM_DESTROY:
    Close();
    break;
  case WM_NCDESTROY:
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    m_hwnd = nullptr;
    Release(); // may be the last reference: nothing of this object is used after it
    break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

STDMETHODIMP COleControlSite::GetMoniker(DWORD, DWORD, IMoniker **ppmk) {
  if (ppmk) *ppmk = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::GetContainer(IOleContainer **ppContainer) {
  if (ppContainer) *ppContainer = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP COleControlSite::GetWindow(HWND *phwnd) {
  if (!phwnd) return E_POINTER;
  *phwnd = m_hwnd;
  return m_hwnd ? S_OK : E_FAIL;
}

STDMETHODIMP COleControlSite::GetWindowContext(IOleInPlaceFrame **ppFrame, IOleInPlaceUIWindow **ppDoc,
                                               LPRECT lprcPosRect, LPRECT lprcClipRect,
                                               LPOLEINPLACEFRAMEINFO lpFrameInfo) {
  if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect) return E_POINTER;
  *ppFrame = static_cast<IOleInPlaceFrame *>(this);
  AddRef();
  *ppDoc = nullptr;
  ::GetClientRect(m_hwnd, lprcPosRect);
  *lprcClipRect = *lprcPosRect;
  if (lpFrameInfo) {
    lpFrameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
    lpFrameInfo->fMDIApp = FALSE;
    lpFrameInfo->hwndFrame = GetAncestor(m_hwnd, GA_ROOT);
    lpFrameInfo->haccel = nullptr;
    lpFrameInfo->cAccelEntries = 0;
  }
  return S_OK;
}

STDMETHODIMP COleControlSite::GetExtendedControl(IDispatch **ppDisp) {
  if (ppDisp) *ppDisp = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP COleControlSite::GetTypeInfoCount(UINT *pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP COleControlSite::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *, VARIANT *pResult,
                                     EXCEPINFO *, UINT *) {
  if (!(wFlags & DISPATCH_PROPERTYGET) || !pResult) return DISP_E_MEMBERNOTFOUND;
  VariantInit(pResult);
  switch (dispid) {
  case DISPID_AMBIENT_USERMODE:
    pResult->vt = VT_BOOL;
    pResult->boolVal = VARIANT_TRUE;
    return S_OK;
  case DISPID_AMBIENT_UIDEAD:
  case DISPID_AMBIENT_SHOWGRABHANDLES:
  case DISPID_AMBIENT_SHOWHATCHING:
    pResult->vt = VT_BOOL;
    pResult->boolVal = VARIANT_FALSE;
    return S_OK;
  default:
    return DISP_E_MEMBERNOTFOUND;
  }
}
