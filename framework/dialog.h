// CDialog: a window made from a dialog template, with a message map, an event
// map for hosted OLE controls and dialog data exchange.
#pragma once

#include "comkit/handles.h"
#include "dialog_template.h"
#include "wnd.h"

#include <memory>
#include <vector>

class CDialog;
class COleControlSite;

// Thrown inside an exchange to end it as failed; UpdateData catches it.
struct CDataExchangeFailure {};

// Data exchange: binds members to controls, in either direction.
class CDataExchange {
public:
  CDataExchange(CWnd *pDlgWnd, bool bSaveAndValidate) : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
  CWnd *m_pDlgWnd;
  bool m_bSaveAndValidate; // true: controls to members
  // The control nID, or a failure of the exchange when it does not exist.
  HWND PrepareCtrl(int nID);
  // Ends the exchange as failed, with the focus on the last prepared control.
  [[noreturn]] void Fail();

private:
  HWND m_hWndLastControl = nullptr;
};

void DDX_Text(CDataExchange *pDX, int nID, CString &value);
// A whole base-10 number within the range of long; anything else reports the
// error, puts the focus on the field and fails the exchange.
void DDX_Text(CDataExchange *pDX, int nID, long &value);
// Attaches the wrapper to control nID on the first exchange.
void DDX_Control(CDataExchange *pDX, int nID, CWnd &control);

// Parses a whole base-10 number within the range of long: optional blanks
// around it and one sign; nothing else. Returns false for anything else.
bool ParseWholeLong(const wchar_t *psz, long &value);

// Message map rows: (notification code, control ID) to a handler.
template <class T> struct CommandEntry {
  UINT nCode;
  UINT nID;
  void (T::*pfn)();
};

// Event map rows: (control ID, event dispatch ID) to a handler that takes the
// event's first argument as a long.
template <class T> struct EventEntry {
  UINT nID;
  DISPID dispid;
  void (T::*pfn)(long);
};

template <class T, size_t N> bool DispatchCommand(T &target, const CommandEntry<T> (&map)[N], UINT nCode, UINT nID) {
  for (const auto &e : map) {
    if (e.nCode == nCode && e.nID == nID) {
      (target.*e.pfn)();
      return true;
    }
  }
  return false;
}

// The first argument of an event as a long (0 when there is none).
long EventArgAsLong(const DISPPARAMS &params);

template <class T, size_t N>
bool DispatchEvent(T &target, const EventEntry<T> (&map)[N], UINT nID, DISPID dispid, const DISPPARAMS &params) {
  for (const auto &e : map) {
    if (e.nID == nID && e.dispid == dispid) {
      (target.*e.pfn)(EventArgAsLong(params));
      return true;
    }
  }
  return false;
}

class CDialog : public CWnd {
public:
  explicit CDialog(UINT nIDTemplate, CWnd *pParent = nullptr);
  ~CDialog() override;

  // Modal run; returns the code passed to EndDialog, or -1 when the window
  // could not be created (a hosted control failed: already reported).
  INT_PTR DoModal();
  // Modeless creation; false when the window could not be created.
  bool Create(CWnd *pParent = nullptr);
  void DestroyWindow();
  void EndDialog(INT_PTR nResult);

  // false when an exchange towards the members failed.
  bool UpdateData(bool bSaveAndValidate = true);
  // The framework's command-UI update of the dialog's controls. No control of
  // a dialog here has an update handler, so it leaves every control as it is.
  void UpdateDialogControls() {}

  // Converts a rectangle in dialog units to pixels of this dialog.
  void MapDialogRect(RECT *prc) const { ::MapDialogRect(m_hWnd, prc); }

  // The dialog object whose window is hwnd, or null.
  static CDialog *FromHandle(HWND hwnd);
  // Delivers an event of hosted control nID through the event map; a failed
  // call inside the handler is reported and the handler abandoned.
  void RouteControlEvent(UINT nID, DISPID dispid, const DISPPARAMS &params);

  UINT m_nIDTemplate;
  CWnd *m_pParentWnd;
  INT_PTR m_nModalResult = 0;

protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange *) {}
  virtual void OnOK();
  virtual void OnCancel();

  // Message routing; true when handled. Derived classes look in their own
  // map first (DispatchCommand) and fall back to the base.
  virtual bool OnCommand(UINT nCode, UINT nID);
  virtual bool OnControlEvent(UINT nID, DISPID dispid, const DISPPARAMS &params);
  // Any other message; return true with *pResult set when handled.
  virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT *pResult);

private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  bool PrepareTemplate();
  bool CreateHostedControls();

  std::vector<BYTE> m_template; // the template without its OLE control items
  std::vector<HostedControlItem> m_hosted;
  bool m_bModal = false;
};
