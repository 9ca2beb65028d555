#include "app/pellix_app.h"

#include "console/pellix_dlg.h"

namespace {

const CommandEntry<CWinApp> kAppCommandMap[] = {
    {BN_CLICKED, ID_HELP, &CWinApp::OnHelp},
};

} // namespace

bool CPellixApp::OnCmdMsg(UINT nCode, UINT nID) { return DispatchCommand<CWinApp>(*this, kAppCommandMap, nCode, nID); }

BOOL CPellixApp::InitInstance() {
  const HRESULT hr = AfxEnableControlContainer();
  if (FAILED(hr)) {
    CString text;
    text.Format(L"OLE could not be started:\n%s\n\nThe program needs it to host the scanner control and ends now.",
                static_cast<const wchar_t *>(ErrorText(hr)));
    AfxMessageBox(text, MB_OK | MB_ICONERROR);
    m_nExitCode = 1;
    return FALSE;
  }

  CPellixDlg dlg;
  m_pMainWnd = &dlg;
  // -1: the window could not be created (its control failed, which the
  // framework has already reported); the program ends with an error code.
  if (dlg.DoModal() == -1) m_nExitCode = 1;
  m_pMainWnd = nullptr;
  return FALSE;
}
