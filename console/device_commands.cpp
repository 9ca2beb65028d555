// The buttons of the device life cycle: open, claim, enable, disable, release,
// close, the health checks, Clear Input, Data Events, Decode Data and Auto
// Enable. Each makes one call on the control and shows the outcome; none
// checks the device's state first, so an out-of-order press reaches the
// control as it is and its error name is shown.
#include "console/pellix_dlg.h"

#include "chooser/open_so_dialog.h"

namespace {

constexpr long kClaimTimeoutMilliseconds = 6000;

constexpr long kHealthInternal = 1;
constexpr long kHealthExternal = 2;
constexpr long kHealthInteractive = 3;

constexpr long kSuccess = 0;

} // namespace

void CPellixDlg::OnOpen() {
  // One Open at a time: a click can reach the window while the chooser or the
  // control's Open is still running (from a message loop inside either).
  if (m_bOpenRunning) return;
  m_bOpenRunning = true;
  struct OpenEnded {
    bool &bRunning;
    ~OpenEnded() { bRunning = false; }
  } ended{m_bOpenRunning};

  COpenSODialog dlg(this);
  if (dlg.DoModal() != IDOK) return;

  m_nLastReturn = m_scanner.Open(dlg.m_strName);
  m_nScanCount = 0;
  RefreshResults();
  // A fresh session starts with automatic re-arming off; whether the box can
  // be used is decided by Claim, Release and Close.
  m_btnAutoEnable.SetCheck(BST_UNCHECKED);
  UpdateDialogControls();
}

void CPellixDlg::OnClaim() {
  m_nLastReturn = m_scanner.ClaimDevice(kClaimTimeoutMilliseconds);
  m_nScanCount = 0;
  if (m_nLastReturn == kSuccess) m_btnAutoEnable.EnableWindow(TRUE);
  RefreshResults();
}

void CPellixDlg::OnDeviceEnable() {
  // A property write has no result: Return Value keeps the last method's.
  m_scanner.SetDeviceEnabled(TRUE);
  RefreshResults();
}

void CPellixDlg::OnDeviceDisable() {
  m_scanner.SetDeviceEnabled(FALSE);
  RefreshResults();
}

void CPellixDlg::OnRelease() {
  m_nLastReturn = m_scanner.ReleaseDevice();
  m_nScanCount = 0;
  if (m_nLastReturn == kSuccess) {
    m_btnAutoEnable.EnableWindow(FALSE);
    m_btnAutoEnable.SetCheck(BST_UNCHECKED);
  }
  RefreshResults();
}

void CPellixDlg::OnClose() {
  m_nLastReturn = m_scanner.Close();
  m_nScanCount = 0;
  if (m_nLastReturn == kSuccess) {
    m_btnAutoEnable.EnableWindow(FALSE);
    m_btnAutoEnable.SetCheck(BST_UNCHECKED);
  }
  RefreshResults();
}

void CPellixDlg::OnCheckHealthInternal() {
  m_nLastReturn = m_scanner.CheckHealth(kHealthInternal);
  RefreshResults();
}

void CPellixDlg::OnCheckHealthExternal() {
  m_nLastReturn = m_scanner.CheckHealth(kHealthExternal);
  RefreshResults();
}

void CPellixDlg::OnCheckHealthInteractive() {
  m_nLastReturn = m_scanner.CheckHealth(kHealthInteractive);
  RefreshResults();
}

void CPellixDlg::OnClearInput() {
  m_nLastReturn = m_scanner.ClearInput();
  RefreshResults();

  // Blank the scan fields, then fill the two result fields anew.
  m_strReturnValue.Empty();
  m_strResultCode.Empty();
  m_strScanDataLabel.Empty();
  m_editScanDataType.SetWindowText(L"");
  UpdateData(false);
  RefreshResults();
}

void CPellixDlg::OnDataEvents() {
  m_scanner.SetDataEventEnabled(TRUE);
  RefreshResults();
}

void CPellixDlg::OnDecodeData() {
  m_scanner.SetDecodeData(TRUE);
  RefreshResults();
}

void CPellixDlg::OnAutoEnable() {
  // The box has already toggled when its click arrives.
  m_scanner.SetDataEventEnabled(m_btnAutoEnable.GetCheck() == BST_CHECKED);
}
