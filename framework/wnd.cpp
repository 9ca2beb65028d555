#include "wnd.h"

#include "olecontrol.h"

#include <vector>

namespace {

CString WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  if (n <= 0) return CString();
  std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
  const int got = ::GetWindowTextW(hwnd, buffer.data(), n + 1);
  return CString(buffer.data(), got > 0 ? got : 0);
}

void SetTextIfDifferent(HWND hwnd, const wchar_t *psz) {
  if (!psz) psz = L"";
  if (WindowText(hwnd) == psz) return;
  ::SetWindowTextW(hwnd, psz);
}

} // namespace

void CWnd::SetWindowText(const wchar_t *psz) const { SetTextIfDifferent(m_hWnd, psz); }

CString CWnd::GetWindowText() const { return WindowText(m_hWnd); }

void CWnd::SetDlgItemText(int nID, const wchar_t *psz) const { SetTextIfDifferent(GetDlgItem(nID), psz); }

CString CWnd::GetDlgItemText(int nID) const { return WindowText(GetDlgItem(nID)); }

void CWnd::CreateControl(REFCLSID clsid, const wchar_t *pszWindowName, DWORD dwStyle, const RECT &rect, CWnd *pParent,
                         UINT nID) {
  ComPtr<COleControlSite> site;
  const HRESULT hr =
      COleControlSite::Create(pParent ? pParent->m_hWnd : nullptr, nID, dwStyle, 0, rect, clsid, {}, HWND_BOTTOM, site);
  if (FAILED(hr)) throw CDispatchException(hr, L"creating the control", ErrorText(hr));
  if (pszWindowName) ::SetWindowTextW(site->GetWindow(), pszWindowName);
  // The site window owns the site from here on: it closes and releases it
  // when it is destroyed.
  m_hWnd = site->GetWindow();
}

IDispatch *CWnd::GetControlDispatch() const {
  COleControlSite *site = COleControlSite::FromWindow(m_hWnd);
  return site ? site->GetDispatch() : nullptr;
}

void CWnd::InvokeHelper(DISPID dispid, WORD wFlags, VARTYPE vtRet, void *pvRet,
                        std::initializer_list<DispatchArg> args) const {
  InvokeDispatch(GetControlDispatch(), dispid, wFlags, vtRet, pvRet, args, GetDispatchName(dispid));
}

CString CComboBox::GetLBText(int nIndex) const {
  const LRESULT n = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex));
  if (n == CB_ERR) return CString();
  std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
  const LRESULT got = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(buffer.data()));
  return got == CB_ERR ? CString() : CString(buffer.data(), static_cast<int>(got));
}
