#include "dialog.h"

#include "olecontrol.h"
#include "winapp.h"

namespace {

// Messages whose result a dialog procedure returns directly instead of
// through DWLP_MSGRESULT.
bool ReturnsDirectly(UINT msg) {
  switch (msg) {
  case WM_CHARTOITEM:
  case WM_COMPAREITEM:
  case WM_CTLCOLORBTN:
  case WM_CTLCOLORDLG:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORLISTBOX:
  case WM_CTLCOLORSCROLLBAR:
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLORMSGBOX:
  case WM_INITDIALOG:
  case WM_QUERYDRAGICON:
  case WM_VKEYTOITEM:
    return true;
  default:
    return false;
  }
}

HWND NthChild(HWND hwndParent, size_t n) {
  HWND child = GetWindow(hwndParent, GW_CHILD);
  while (child && n--)
    child = GetWindow(child, GW_HWNDNEXT);
  return child;
}

// The window a hosted item follows in z-order: the one made from the template
// item before it. By its ID where that is unique (one look-up); otherwise by
// position, which walks the children one by one.
HWND WindowBefore(HWND hwndDlg, const HostedControlItem &item) {
  if (item.nIndex == 0) return HWND_TOP;
  if (item.idBefore)
    if (const HWND found = ::GetDlgItem(hwndDlg, static_cast<int>(*item.idBefore))) return found;
  return NthChild(hwndDlg, item.nIndex - 1);
}

} // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd *pParent) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent) {}

CDialog::~CDialog() {
  if (m_hWnd) ::DestroyWindow(m_hWnd);
}

// The object lives in the window's DWLP_USER slot, read without a trip to
// the window server (a window property costs one on every message and event).
// Only a window our dialog procedure runs has one there.
CDialog *CDialog::FromHandle(HWND hwnd) {
  if (!hwnd || GetWindowLongPtrW(hwnd, DWLP_DLGPROC) != reinterpret_cast<LONG_PTR>(&CDialog::DialogProc))
    return nullptr;
  return reinterpret_cast<CDialog *>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

bool CDialog::PrepareTemplate() {
  const HINSTANCE hInst = GetModuleHandleW(nullptr);
  const HRSRC hRes = FindResourceW(hInst, MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  const HGLOBAL hData = hRes ? LoadResource(hInst, hRes) : nullptr;
  const auto *p = hData ? static_cast<const BYTE *>(LockResource(hData)) : nullptr;
  if (!p || !SplitDialogTemplate(p, SizeofResource(hInst, hRes), m_template, m_hosted)) return false;

  const HRSRC hInit = FindResourceW(hInst, MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  const HGLOBAL hInitData = hInit ? LoadResource(hInst, hInit) : nullptr;
  const auto *pInit = hInitData ? static_cast<const BYTE *>(LockResource(hInitData)) : nullptr;
  if (pInit) ApplyInitState(pInit, SizeofResource(hInst, hInit), m_hosted);
  return true;
}

INT_PTR CDialog::DoModal() {
  if (!PrepareTemplate()) return -1;
  m_bModal = true;
  const HWND hwndParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE *>(m_template.data()),
                              hwndParent, DialogProc, reinterpret_cast<LPARAM>(this));
  m_bModal = false;
  return result;
}

bool CDialog::Create(CWnd *pParent) {
  if (pParent) m_pParentWnd = pParent;
  if (!PrepareTemplate()) return false;
  m_bModal = false;
  const HWND hwndParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  const HWND hwnd =
      CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE *>(m_template.data()),
                                 hwndParent, DialogProc, reinterpret_cast<LPARAM>(this));
  return hwnd != nullptr && m_hWnd == hwnd;
}

void CDialog::DestroyWindow() {
  if (m_hWnd) ::DestroyWindow(m_hWnd);
}

void CDialog::EndDialog(INT_PTR nResult) {
  m_nModalResult = nResult;
  ::EndDialog(m_hWnd, nResult);
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  try {
    DoDataExchange(&dx);
    return true;
  } catch (const CDataExchangeFailure &) {
    return false;
  }
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(UINT nCode, UINT nID) {
  if (nCode == BN_CLICKED && nID == IDOK) {
    OnOK();
    return true;
  }
  if (nCode == BN_CLICKED && nID == IDCANCEL) {
    OnCancel();
    return true;
  }
  CWinApp *app = AfxGetApp();
  return app && app->OnCmdMsg(nCode, nID);
}

bool CDialog::OnControlEvent(UINT, DISPID, const DISPPARAMS &) { return false; }

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT *) { return false; }

void CDialog::RouteControlEvent(UINT nID, DISPID dispid, const DISPPARAMS &params) {
  try {
    OnControlEvent(nID, dispid, params);
  } catch (const std::exception &e) {
    ReportException(m_hWnd, e);
  } catch (...) {
    ReportException(m_hWnd, std::exception());
  }
}

bool CDialog::CreateHostedControls() {
  for (const HostedControlItem &item : m_hosted) {
    // Like the dialog manager, convert position and size each on its own
    // (MapDialogRect scales each of the four numbers independently).
    const RECT &du = item.rcDialogUnits;
    RECT pos{du.left, du.top, du.right - du.left, du.bottom - du.top};
    MapDialogRect(&pos);
    const RECT rc{pos.left, pos.top, pos.left + pos.right, pos.top + pos.bottom};
    const HWND after = WindowBefore(m_hWnd, item);
    ComPtr<COleControlSite> site;
    const HRESULT hr = COleControlSite::Create(m_hWnd, item.nID, item.dwStyle, item.dwExStyle, rc, item.clsid,
                                               item.initState, after ? after : HWND_BOTTOM, site);
    if (FAILED(hr)) {
      CString text;
      text.Format(L"The control %s (item %u of this window) could not be created:\n%s\n\n"
                  L"The program cannot run without it and ends now.",
                  static_cast<const wchar_t *>(ControlDisplayName(item.clsid)), item.nID,
                  static_cast<const wchar_t *>(ErrorText(hr)));
      MessageBoxW(m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, text, AfxGetAppName(), MB_OK | MB_ICONERROR);
      return false;
    }
  }
  return true;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CDialog *self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog *>(lp);
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CDialog *>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  try {
    return self->HandleMessage(msg, wp, lp);
  } catch (const std::exception &e) {
    ReportException(hwnd, e);
  } catch (...) {
    ReportException(hwnd, std::exception());
  }
  return TRUE;
}

INT_PTR CDialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_INITDIALOG:
    if (!CreateHostedControls()) {
      m_nModalResult = -1;
      if (m_bModal)
        ::EndDialog(m_hWnd, -1);
      else
        ::DestroyWindow(m_hWnd);
      return TRUE;
    }
    return OnInitDialog();
  case WM_COMMAND:
    return OnCommand(HIWORD(wp), LOWORD(wp)) ? TRUE : FALSE;
  case WM_NCDESTROY:
    SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    m_hWnd = nullptr;
    return FALSE;
  default: {
    LRESULT result = 0;
    if (!OnMessage(msg, wp, lp, &result)) return FALSE;
    if (ReturnsDirectly(msg)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  }
}
