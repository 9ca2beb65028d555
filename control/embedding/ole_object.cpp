// The hosting interfaces: IOleObject, IOleInPlaceObject and IOleControl. The
// control is invisible at run time; in place it shows a placeholder window so
// that a form designer has something to place.
#include "control/embedding/scanner_control.h"

#include "comkit/window_class.h"
#include "control/guids.h"
#include "control/win32/module_instance.h"

namespace quillon::control {
namespace {

constexpr wchar_t kPlaceholderClass[] = L"QuillonScannerPlaceholder";

ATOM RegisterPlaceholderClass(WNDPROC proc) {
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = proc;
  wc.hInstance = ModuleInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPlaceholderClass;
  return comkit::RegisterClassOnce(wc);
}

} // namespace

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
  // A site that refuses in-place activation is not kept: it is told of no
  // activation, so it must not hear of a deactivation either.
  if (m_site && SUCCEEDED(m_site.As(m_inPlaceSite)) && m_inPlaceSite->CanInPlaceActivate() != S_OK)
    m_inPlaceSite.Reset();
  if (m_inPlaceSite) {
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
  if (!RegisterPlaceholderClass(PlaceholderProc)) return E_FAIL;
  if (pos.right <= pos.left || pos.bottom <= pos.top) pos = {pos.left, pos.top, pos.left + 32, pos.top + 32};
  m_placeholder =
      CreateWindowExW(0, kPlaceholderClass, L"OPOS Scanner", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left, pos.top,
                      pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, ModuleInstance(), nullptr);
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
  m_device.FreezeContainerEvents(freeze != FALSE);
  return S_OK;
}

} // namespace quillon::control
