// The two events of the hosted scanner control: a scanned label, and status
// changes, of which the power transitions are told in a message box.
#include "console/pellix_dlg.h"

#include "console/result_names.h"
#include "framework/winapp.h"

void CPellixDlg::OnDataEvent(long /*lStatus*/) {
  m_editScanDataType.SetWindowText(ScanDataTypeName(m_scanner.GetScanDataType()));
  m_strScanDataLabel = m_scanner.GetScanDataLabel();
  // Re-arm so that the next label arrives without pressing Data Events.
  if (m_btnAutoEnable.GetCheck() == BST_CHECKED) m_scanner.SetDataEventEnabled(TRUE);

  ++m_nScanCount;
  wchar_t count[16];
  _ltow(m_nScanCount, count, 10);
  m_editScanCount.SetWindowText(count);
  UpdateData(false);
}

void CPellixDlg::OnStatusUpdateEvent(long lStatus) {
  const wchar_t *pszText = PowerStatusText(lStatus);
  if (!pszText) return;

  // The box is modal and events keep arriving while it is open. Only one box
  // is shown at a time: a power text that arrives meanwhile replaces any
  // other waiting one, and the newest is shown once the open box is closed,
  // by this same call, so a device that floods status events cannot stack
  // boxes (or calls) without bound.
  if (m_bPowerBoxOpen) {
    m_strPendingPowerText = pszText;
    return;
  }

  m_bPowerBoxOpen = true;
  CString strText = pszText;
  for (;;) {
    AfxMessageBox(strText, MB_OK);
    if (m_strPendingPowerText.IsEmpty() || !::IsWindow(m_hWnd)) break;
    strText = m_strPendingPowerText;
    m_strPendingPowerText.Empty();
  }
  m_strPendingPowerText.Empty();
  m_bPowerBoxOpen = false;
}
