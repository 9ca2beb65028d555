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

  // Runs the application; the process exit code. OLE initialised by
  // AfxEnableControlContainer is uninitialised when the run ends.
  int Run();

  CWnd *m_pMainWnd = nullptr;
  int m_nExitCode = 0;
  // Successful OLE initialisations of this run, each undone at its end.
  int m_nOleInitializations = 0;
};

CWinApp *AfxGetApp();
// The executable's base name ("Quillon" for Quillon.exe): the caption of every
// message box the application raises.
const CString &AfxGetAppName();
// The full path of a module (the executable for null), however long it is;
// empty when the system cannot tell.
CString AfxGetModuleFileName(HMODULE hModule);
// Enables hosting of OLE controls in dialogs: initialises OLE on this thread
// for the rest of the application's run. The result of the initialisation.
HRESULT AfxEnableControlContainer();
// The window a new modal window over hwnd's window should be owned by: that
// window itself while it is enabled, else the enabled window in front of it
// that it owns (a modal dialog or message box it is waiting for), so that
// the new window is modal to the one the user can reach. Null for null.
HWND AfxGetModalOwner(HWND hwnd);
// A modal message box over the main window (AfxGetModalOwner), captioned
// with the application's name.
int AfxMessageBox(const wchar_t *pszText, UINT nType = MB_OK, UINT nIDHelp = 0);
