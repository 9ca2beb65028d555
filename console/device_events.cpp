// The two events of the hosted scanner control: a scanned label, and status
// changes, of which the power transitions are told in a message box.
#include "console/pellix_dlg.h"

#include "console/result_names.h"
#include "framework/winapp.h"

namespace {

// Shows the power message box just after the status event that asked for it.
constexpr UINT_PTR kPowerBoxTimer = 0x5057;

void CALLBACK PowerBoxTimer(HWND hwnd, UINT, UINT_PTR nIDEvent, DWORD) {
  KillTimer(hwnd, nIDEvent);
  // Called by Windows: nothing may unwind through it.
  try {
    if (auto *pDlg = dynamic_cast<CPellixDlg *>(CDialog::FromHandle(hwnd))) pDlg->ShowPendingPowerText();
  } catch (const std::exception &e) {
    ReportException(hwnd, e);
  } catch (...) {
    ReportException(hwnd, std::exception());
  }
}

// Whether a posted message waits in this thread's queue. QS_ALLPOSTMESSAGE,
// not QS_POSTMESSAGE: Windows clears QS_POSTMESSAGE on every GetMessage or
// PeekMessage, filtered or not, so once a control or COM has peeked for
// messages of its own it says nothing waits while labels still do.
// QS_ALLPOSTMESSAGE is cleared only by a call without a filter, which would
// have returned any message that waits.
bool PostedMessageWaiting() { return (HIWORD(GetQueueStatus(QS_ALLPOSTMESSAGE)) & QS_ALLPOSTMESSAGE) != 0; }

} // namespace

void CPellixDlg::OnDataEvent(long /*lStatus*/) {
  m_editScanDataType.SetWindowText(ScanDataTypeName(m_scanner.GetScanDataType()));
  m_strScanDataLabel = m_scanner.GetScanDataLabel();
  // Re-arm so that the next label arrives without pressing Data Events.
  if (m_btnAutoEnable.GetCheck() == BST_CHECKED) m_scanner.SetDataEventEnabled(TRUE);

  ++m_nScanCount;

  // Writing the label field (a multi-line edit) costs milliseconds, far more
  // than a label takes to arrive in a burst. While more messages wait in the
  // queue (the control posts its next delivery there) the fields are written
  // once after them instead of for every label; a label that arrives on its
  // own is shown at once.
  if (m_bScanFieldsPosted) return; // the message on its way writes them
  if (PostedMessageWaiting() && ::PostMessageW(m_hWnd, kShowScanFieldsMessage, 0, 0)) {
    m_bScanFieldsPosted = true;
    return;
  }
  ShowScanFields();
}

void CPellixDlg::ShowScanFields() {
  m_bScanFieldsPosted = false;
  wchar_t count[16];
  _ltow(m_nScanCount, count, 10);
  m_editScanCount.SetWindowText(count);
  UpdateData(false);
}

void CPellixDlg::OnStatusUpdateEvent(long lStatus) {
  const wchar_t *pszText = PowerStatusText(lStatus);
  if (!pszText) return;

  // The box is modal and waits for the technician, and events keep coming:
  // it is not opened inside the event (a control that delivers its events one
  // at a time would hold back every scan while it is open, and one that
  // delivers them nested would stack a box per event). The newest text waits
  // here and is shown right after this event; while a box is open, a text
  // that arrives replaces the waiting one and is shown once the box closes.
  m_strPendingPowerText = pszText;
  if (m_bPowerBoxOpen) return; // open, or about to open
  m_bPowerBoxOpen = true;
  if (!::SetTimer(m_hWnd, kPowerBoxTimer, USER_TIMER_MINIMUM, PowerBoxTimer)) ShowPendingPowerText();
}

void CPellixDlg::ShowPendingPowerText() {
  // However this ends, the next power text gets a box of its own.
  struct BoxClosed {
    bool &bOpen;
    ~BoxClosed() { bOpen = false; }
  } closed{m_bPowerBoxOpen};
  while (!m_strPendingPowerText.IsEmpty() && ::IsWindow(m_hWnd)) {
    const CString strText = m_strPendingPowerText;
    m_strPendingPowerText.Empty();
    // Modal to whatever window is in front: over the chooser or the About box
    // the box is theirs, so that neither can be ended under it.
    AfxMessageBox(strText, MB_OK);
  }
}
