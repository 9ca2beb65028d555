// CWnd and the thin control wrappers: a window handle plus one-line methods
// that each send one message.
#pragma once

#include "cstring.h"
#include "dispatch.h"

#include <windows.h>
#include <commctrl.h>

#include <utility>

class CWnd {
public:
  CWnd() = default;
  CWnd(const CWnd &) = delete;
  CWnd &operator=(const CWnd &) = delete;
  virtual ~CWnd() = default;

  HWND m_hWnd = nullptr;

  operator HWND() const { return m_hWnd; }
  void Attach(HWND hWnd) { m_hWnd = hWnd; }
  HWND Detach() { return std::exchange(m_hWnd, nullptr); }

  LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageW(m_hWnd, msg, wp, lp); }
  BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageW(m_hWnd, msg, wp, lp); }
  HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  BOOL EnableWindow(BOOL bEnable = TRUE) const { return ::EnableWindow(m_hWnd, bEnable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL ShowWindow(int nCmdShow) const { return ::ShowWindow(m_hWnd, nCmdShow); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(RECT *prc) const { ::GetClientRect(m_hWnd, prc); }
  HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }
  HICON SetIcon(HICON hIcon, BOOL bBig) const {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBig ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
  }
  HWND SetFocus() const { return ::SetFocus(m_hWnd); }
  // Off while many rows go into a list, so that it does not repaint per row.
  void SetRedraw(BOOL bRedraw = TRUE) const { SendMessage(WM_SETREDRAW, static_cast<WPARAM>(bRedraw)); }

  // Sets the text only when it differs, so an unchanged field neither
  // flickers nor raises a change notification.
  void SetWindowText(const wchar_t *psz) const;
  CString GetWindowText() const;
  void SetDlgItemText(int nID, const wchar_t *psz) const;
  CString GetDlgItemText(int nID) const;

  // Creates a hosted OLE control from its class identifier as child nID of
  // pParent and attaches this wrapper to it. Throws CDispatchException.
  void CreateControl(REFCLSID clsid, const wchar_t *pszWindowName, DWORD dwStyle, const RECT &rect, CWnd *pParent,
                     UINT nID);
  // The automation interface of the hosted control this window is, or null.
  IDispatch *GetControlDispatch() const;
  // One late-bound call on the hosted control (see InvokeDispatch).
  void InvokeHelper(DISPID dispid, WORD wFlags, VARTYPE vtRet, void *pvRet,
                    std::initializer_list<DispatchArg> args = {}) const;

protected:
  // The name shown when a call with this dispatch ID fails; null if unknown.
  virtual const wchar_t *GetDispatchName(DISPID) const { return nullptr; }
};

class CButton : public CWnd {
public:
  int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
  void SetCheck(int nCheck) const { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
};

class CEdit : public CWnd {
public:
  BOOL SetReadOnly(BOOL bReadOnly = TRUE) const {
    return static_cast<BOOL>(SendMessage(EM_SETREADONLY, static_cast<WPARAM>(bReadOnly)));
  }
  void SetLimitText(UINT nMax) const { SendMessage(EM_SETLIMITTEXT, nMax); }
  UINT GetLimitText() const { return static_cast<UINT>(SendMessage(EM_GETLIMITTEXT)); }
  void SetSel(int nStart, int nEnd) const { SendMessage(EM_SETSEL, static_cast<WPARAM>(nStart), nEnd); }
};

class CComboBox : public CWnd {
public:
  int AddString(const wchar_t *psz) const {
    return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(psz)));
  }
  int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
  int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
  int SetCurSel(int nSelect) const { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
  DWORD_PTR GetItemData(int nIndex) const {
    return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(nIndex)));
  }
  int SetItemData(int nIndex, DWORD_PTR data) const {
    return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(data)));
  }
  void *GetItemDataPtr(int nIndex) const { return reinterpret_cast<void *>(GetItemData(nIndex)); }
  int SetItemDataPtr(int nIndex, void *p) const { return SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(p)); }
  CString GetLBText(int nIndex) const;
  void ResetContent() const { SendMessage(CB_RESETCONTENT); }
};
