// The main window's frame behaviour: the About entry of the system menu, the
// icon painted while minimised, and the drag icon.
#include "console/about_dlg.h"
#include "app/resource.h"
#include "console/pellix_dlg.h"

bool CPellixDlg::OnSysCommand(UINT nID, LPARAM) {
  if ((nID & 0xFFF0 & 0xFFFF) != IDM_ABOUTBOX) return false;
  CAboutDlg dlgAbout;
  dlgAbout.m_pParentWnd = this;
  dlgAbout.DoModal();
  return true;
}

bool CPellixDlg::OnPaint() {
  if (!IsIconic()) return false;
  PAINTSTRUCT ps;
  const HDC hdc = BeginPaint(m_hWnd, &ps);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  const int cxIcon = GetSystemMetrics(SM_CXICON);
  const int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(&rect);
  const int x = (rect.right - rect.left - cxIcon + 1) / 2;
  const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  DrawIcon(hdc, x, y, m_hIcon);
  EndPaint(m_hWnd, &ps);
  return true;
}

HCURSOR CPellixDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }
