#include "olecontrol.h"

#include "dialog.h"
#include "winapp.h"

namespace {

const wchar_t kSiteClass[] = L"QuillonControlSite";

ATOM RegisterSiteClass(WNDPROC proc) {
  static const ATOM atom = [proc] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kSiteClass;
    return RegisterClassExW(&wc);
  }();
  return atom;
}

LONG HimetricFromPixels(LONG pixels, int dpi) { return MulDiv(pixels, 2540, dpi); }

// The default source dispinterface of a control: from IProvideClassInfo2,
// else from the default source interface of its coclass type information.
HRESULT FindDefaultSource(IUnknown *pControl, IID &iid) {
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
  TYPEATTR *attr = nullptr;
  hr = coclass->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  const WORD cImplTypes = attr->cImplTypes;
  coclass->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < cImplTypes; ++i) {
    INT flags = 0;
    if (FAILED(coclass->GetImplTypeFlags(i, &flags))) continue;
    if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE))
      continue;
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> source;
    if (FAILED(coclass->GetRefTypeOfImplType(i, &ref)) || FAILED(coclass->GetRefTypeInfo(ref, &source))) continue;
    TYPEATTR *sourceAttr = nullptr;
    if (FAILED(source->GetTypeAttr(&sourceAttr))) continue;
    iid = sourceAttr->guid;
    source->ReleaseTypeAttr(sourceAttr);
    return S_OK;
  }
  return E_NOINTERFACE;
}

} // namespace

// Receives the control's events and hands them to the site.
class COleControlSite::EventSink final : public IDispatch {
public:
  EventSink(COleControlSite *site, const IID &iid) : m_site(site), m_iid(iid) {}

  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iid) {
      *ppv = static_cast<IDispatch *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG n = InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override {
    if (pctinfo) *pctinfo = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS *pParams, VARIANT *, EXCEPINFO *, UINT *) override {
    if (!m_site) return S_OK;
    static const DISPPARAMS kNoParams{};
    m_site->FireEvent(dispid, pParams ? *pParams : kNoParams);
    return S_OK;
  }
  void Disconnect() { m_site = nullptr; }

private:
  ~EventSink() = default;
  LONG m_cRef = 1;
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

  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject, m_object.PutVoid());
  if (SUCCEEDED(hr)) {
    DWORD misc = 0;
    m_object->GetMiscStatus(DVASPECT_CONTENT, &misc);
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst) m_object->SetClientSite(this);

    ComPtr<IPersistStreamInit> persistInit;
    ComPtr<IPersistStream> persist;
    if (SUCCEEDED(m_object.QueryInto(IID_IPersistStreamInit, persistInit.PutVoid()))) {
      if (initState.empty()) {
        hr = persistInit->InitNew();
      } else {
        ComPtr<IStream> stream;
        hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        if (SUCCEEDED(hr)) hr = stream->Write(initState.data(), static_cast<ULONG>(initState.size()), nullptr);
        const LARGE_INTEGER zero{};
        if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        if (SUCCEEDED(hr)) hr = persistInit->Load(stream.Get());
      }
    } else if (!initState.empty() && SUCCEEDED(m_object.QueryInto(IID_IPersistStream, persist.PutVoid()))) {
      ComPtr<IStream> stream;
      hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
      if (SUCCEEDED(hr)) hr = stream->Write(initState.data(), static_cast<ULONG>(initState.size()), nullptr);
      const LARGE_INTEGER zero{};
      if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
      if (SUCCEEDED(hr)) hr = persist->Load(stream.Get());
    }
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

void COleControlSite::ConnectEvents() {
  IID iid{};
  if (FAILED(FindDefaultSource(m_object.Get(), iid))) return;
  ComPtr<IConnectionPointContainer> container;
  if (FAILED(m_object.QueryInto(IID_IConnectionPointContainer, container.PutVoid()))) return;
  ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(iid, &point))) return;
  ComPtr<IDispatch> sink;
  sink.Attach(new EventSink(this, iid));
  DWORD cookie = 0;
  if (FAILED(point->Advise(sink.Get(), &cookie))) {
    static_cast<EventSink *>(sink.Get())->Disconnect();
    return;
  }
  m_connection = point;
  m_sink = sink;
  m_dwCookie = cookie;
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
  switch (msg) {
  case WM_SIZE:
    if (site && site->m_object) {
      ComPtr<IOleInPlaceObject> inplace;
      if (SUCCEEDED(site->m_object.QueryInto(IID_IOleInPlaceObject, inplace.PutVoid()))) {
        RECT rc{0, 0, LOWORD(lp), HIWORD(lp)};
        inplace->SetObjectRects(&rc, &rc);
      }
    }
    break;
  case WM_DESTROY:
    if (site) site->Close();
    break;
  case WM_NCDESTROY:
    if (site) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      site->m_hwnd = nullptr;
      site->Release();
    }
    break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

STDMETHODIMP COleControlSite::QueryInterface(REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IOleClientSite)
    *ppv = static_cast<IOleClientSite *>(this);
  else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
    *ppv = static_cast<IOleInPlaceSite *>(this);
  else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
    *ppv = static_cast<IOleInPlaceFrame *>(this);
  else if (riid == IID_IOleControlSite)
    *ppv = static_cast<IOleControlSite *>(this);
  else if (riid == IID_IDispatch)
    *ppv = static_cast<IDispatch *>(this);
  else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) COleControlSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) COleControlSite::Release() {
  const LONG n = InterlockedDecrement(&m_cRef);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
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
