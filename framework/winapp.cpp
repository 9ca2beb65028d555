#include "winapp.h"

#include <ole2.h>

#include <vector>

namespace {

CWinApp *g_pApp = nullptr;

bool IsOwnedBy(HWND hwnd, HWND hwndOwner) {
  for (HWND h = GetWindow(hwnd, GW_OWNER); h; h = GetWindow(h, GW_OWNER))
    if (h == hwndOwner) return true;
  return false;
}

struct ModalSearch {
  HWND hwndOwner;
  HWND hwndFound;
};

// Takes the first visible, enabled window that the searched window owns,
// directly or through other owned windows.
BOOL CALLBACK FindModalWindow(HWND hwnd, LPARAM lp) {
  auto *search = reinterpret_cast<ModalSearch *>(lp);
  if (hwnd == search->hwndOwner || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd) ||
      !IsOwnedBy(hwnd, search->hwndOwner))
    return TRUE;
  search->hwndFound = hwnd;
  return FALSE;
}

} // namespace

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
  } catch (...) {
    ReportException(nullptr, std::exception());
    m_nExitCode = 1;
  }
  for (; m_nOleInitializations > 0; --m_nOleInitializations)
    OleUninitialize();
  return m_nExitCode;
}

CString AfxGetModuleFileName(HMODULE hModule) {
  // The buffer grows until the path fits: a path may be longer than MAX_PATH,
  // and a buffer that is too small gets a cut-off path.
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(hModule, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return CString();
    if (n < path.size()) return CString(path.data(), static_cast<int>(n));
    if (path.size() >= 32768) return CString();
    path.resize(path.size() * 2);
  }
}

const CString &AfxGetAppName() {
  static const CString name = [] {
    std::wstring s = AfxGetModuleFileName(nullptr).str();
    const size_t slash = s.find_last_of(L"\\/");
    if (slash != std::wstring::npos) s.erase(0, slash + 1);
    const size_t dot = s.find_last_of(L'.');
    if (dot != std::wstring::npos) s.erase(dot);
    return CString(s);
  }();
  return name;
}

HRESULT AfxEnableControlContainer() {
  const HRESULT hr = OleInitialize(nullptr);
  if (SUCCEEDED(hr) && g_pApp) ++g_pApp->m_nOleInitializations;
  return hr;
}

HWND AfxGetModalOwner(HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd)) return nullptr;
  const HWND root = GetAncestor(hwnd, GA_ROOT);
  if (IsWindowEnabled(root)) return root;
  // Disabled: a modal window it owns is in front of it. The one the user
  // used last, else any that can be reached.
  const HWND popup = GetLastActivePopup(root);
  if (popup && popup != root && IsWindowVisible(popup) && IsWindowEnabled(popup) && IsOwnedBy(popup, root))
    return popup;
  ModalSearch search{root, nullptr};
  EnumThreadWindows(GetWindowThreadProcessId(root, nullptr), FindModalWindow, reinterpret_cast<LPARAM>(&search));
  return search.hwndFound ? search.hwndFound : root;
}

int AfxMessageBox(const wchar_t *pszText, UINT nType, UINT) {
  CWinApp *app = AfxGetApp();
  const HWND main = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
  return MessageBoxW(AfxGetModalOwner(main), pszText, AfxGetAppName(), nType);
}
