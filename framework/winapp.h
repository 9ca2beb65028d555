// CWinApp: the one application object of the process.
#pragma once

#include "cstring.h"
#include "wnd.h"

#define ID_HELP 57670

class CWinApp {
public:
  CWinApp();
  CWinApp(const CWinApp &) = delete;
  CWinApp &operator=(const CWinApp &) = delete;
  virtual ~CWinApp();

  // Returns FALSE to end the program without a message loop of its own.
  virtual BOOL InitInstance() { return FALSE; }
  // Application-level commands not handled by a window; true when handled.
  virtual bool OnCmdMsg(UINT nCode, UINT nID);
  // The default help command: no help file ships, so it does nothing.
  void OnHelp() {}

  // Runs the application; the process exit code.
  int Run();

  CWnd *m_pMainWnd = nullptr;
  int m_nExitCode = 0;
};

CWinApp *AfxGetApp();
// The executable's base name ("Quillon" for Quillon.exe): the caption of every
// message box the application raises.
const CString &AfxGetAppName();
// Enables hosting of OLE controls in dialogs (initialises OLE on this thread).
bool AfxEnableControlContainer();
// A modal message box owned by the main window, captioned with the
// application's name.
int AfxMessageBox(const wchar_t *pszText, UINT nType = MB_OK, UINT nIDHelp = 0);
