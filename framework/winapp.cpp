#include "winapp.h"

#include <ole2.h>

namespace {
CWinApp *g_pApp = nullptr;
}

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

CWinApp *AfxGetApp() { return g_pApp; }

bool CWinApp::OnCmdMsg(UINT, UINT) { return false; }

int CWinApp::Run() {
  try {
    InitInstance();
  } catch (const std::exception &e) {
    ReportException(nullptr, e);
    m_nExitCode = 1;
  }
  return m_nExitCode;
}

const CString &AfxGetAppName() {
  static const CString name = [] {
    wchar_t path[MAX_PATH] = L"";
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n < MAX_PATH ? n : 0);
    const size_t slash = s.find_last_of(L"\\/");
    if (slash != std::wstring::npos) s.erase(0, slash + 1);
    const size_t dot = s.find_last_of(L'.');
    if (dot != std::wstring::npos) s.erase(dot);
    return CString(s);
  }();
  return name;
}

bool AfxEnableControlContainer() { return SUCCEEDED(OleInitialize(nullptr)); }

int AfxMessageBox(const wchar_t *pszText, UINT nType, UINT) {
  CWinApp *app = AfxGetApp();
  HWND owner = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
  if (owner && !IsWindow(owner)) owner = nullptr;
  return MessageBoxW(owner, pszText, AfxGetAppName(), nType);
}
