#include "dialog.h"

#include "winapp.h"

#include <cerrno>
#include <cwchar>
#include <cwctype>

HWND CDataExchange::PrepareCtrl(int nID) {
  const HWND hwnd = ::GetDlgItem(m_pDlgWnd->m_hWnd, nID);
  if (!hwnd) throw CDataExchangeFailure();
  m_hWndLastControl = hwnd;
  return hwnd;
}

void CDataExchange::Fail() {
  if (m_bSaveAndValidate && m_hWndLastControl) {
    ::SetFocus(m_hWndLastControl);
    ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
  }
  throw CDataExchangeFailure();
}

void DDX_Text(CDataExchange *pDX, int nID, CString &value) {
  CWnd ctrl;
  ctrl.Attach(pDX->PrepareCtrl(nID));
  if (pDX->m_bSaveAndValidate)
    value = ctrl.GetWindowText();
  else
    ctrl.SetWindowText(value);
}

bool ParseWholeLong(const wchar_t *psz, long &value) {
  if (!psz) return false;
  while (std::iswspace(static_cast<wint_t>(*psz)))
    ++psz;
  const wchar_t *digits = psz;
  if (*digits == L'+' || *digits == L'-') ++digits;
  if (*digits < L'0' || *digits > L'9') return false;
  wchar_t *end = nullptr;
  errno = 0;
  const long long v = std::wcstoll(psz, &end, 10);
  if (errno == ERANGE || v < LONG_MIN || v > LONG_MAX) return false;
  while (std::iswspace(static_cast<wint_t>(*end)))
    ++end;
  if (*end != 0) return false;
  value = static_cast<long>(v);
  return true;
}

void DDX_Text(CDataExchange *pDX, int nID, long &value) {
  CWnd ctrl;
  ctrl.Attach(pDX->PrepareCtrl(nID));
  if (!pDX->m_bSaveAndValidate) {
    CString text;
    text.Format(L"%ld", value);
    ctrl.SetWindowText(text);
    return;
  }
  long parsed = 0;
  if (!ParseWholeLong(ctrl.GetWindowText(), parsed)) {
    AfxMessageBox(L"Enter a whole number from -2147483648 to 2147483647.", MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail();
  }
  value = parsed;
}

void DDX_Control(CDataExchange *pDX, int nID, CWnd &control) {
  if (!control.m_hWnd) control.Attach(pDX->PrepareCtrl(nID));
}

long EventArgAsLong(const DISPPARAMS &params) {
  if (params.cArgs == 0 || !params.rgvarg) return 0;
  // The first argument is the last in rgvarg.
  VARIANT copy;
  VariantInit(&copy);
  VARIANT &arg = params.rgvarg[params.cArgs - 1];
  if (FAILED(VariantChangeType(&copy, &arg, 0, VT_I4))) return 0;
  return copy.lVal;
}
