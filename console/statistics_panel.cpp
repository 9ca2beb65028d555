// The statistics panel: retrieve the manufacturer statistics, write and reset
// the good-scan count, clear the input properties, and hold the count field
// (1034) to the 32-bit limit.
#include "app/resource.h"
#include "console/pellix_dlg.h"
#include "comkit/handles.h"
#include "framework/winapp.h"

#include <cerrno>
#include <climits>
#include <cwchar>

namespace {

const wchar_t kNotSupported[] = L"StatisticsReporting is not supported";
const wchar_t kCountLimitText[] = L"2147483647";

// Text to a signed 64-bit integer the way _wtoll reads it: leading white
// space and one sign, digits up to the first other character, 0 when there
// are none, and the nearest 64-bit limit for a number beyond the range. The
// runtime's own _wtoll wraps around on overflow in some C libraries, which
// would let a twenty-digit count slip under the limit.
long long TextToInt64(const wchar_t *psz) {
  errno = 0;
  wchar_t *pszEnd = nullptr;
  const long long nValue = std::wcstoll(psz ? psz : L"", &pszEnd, 10);
  errno = 0;
  return nValue;
}

} // namespace

void CPellixDlg::OnRetrieveStatistics() {
  // Released on every path, whatever BSTR the control left in it.
  ScopedBstr bstrBuffer(L"M_");

  if (m_scanner.GetCapStatisticsReporting() != 1) {
    AfxMessageBox(kNotSupported, MB_OK);
    return;
  }

  const long nResult = m_scanner.RetrieveStatistics(bstrBuffer.InOut());
  if (nResult != 0) {
    RefreshResults();
    return;
  }
  const BSTR bstrReply = bstrBuffer.Get();
  const CString strReply = bstrReply ? CString(bstrReply, static_cast<int>(SysStringLen(bstrReply))) : CString();
  AfxMessageBox(strReply, MB_OK);
}

void CPellixDlg::OnUpdateStatistics() {
  const bool bExchanged = UpdateData(true);

  if (m_scanner.GetCapUpdateStatistics() != 1) {
    AfxMessageBox(kNotSupported, MB_OK);
    return;
  }

  CString strBuffer;
  if (bExchanged)
    strBuffer.Format(L"GoodScanCount=%d", static_cast<int>(m_nStatisticsCount));
  else
    strBuffer = L"GoodScanCount=Error";

  m_nLastReturn = m_scanner.UpdateStatistics(strBuffer);
  // The exchange writes the count back, so a field that failed shows the
  // last count that passed.
  RefreshResults();
}

void CPellixDlg::OnResetStatistics() {
  m_scanner.ResetStatistics(L"GoodScanCount");
  m_nScanCount = 0;
  RefreshResults();
}

void CPellixDlg::OnClearInputProperties() { m_scanner.ClearInputProperties(); }

void CPellixDlg::OnStatisticsCountChange() {
  const HWND hwndCount = GetDlgItem(IDC_STATISTICS_COUNT);
  if (!hwndCount) return;
  const long long nValue = TextToInt64(GetDlgItemText(IDC_STATISTICS_COUNT));
  const long long nLimit = TextToInt64(kCountLimitText);
  if (nValue > nLimit) {
    AfxMessageBox(L"Exceeded the maximum input limit", MB_OK);
    // Raises the change notification again; that pass finds the limit and
    // stays silent.
    SetDlgItemText(IDC_STATISTICS_COUNT, kCountLimitText);
  }
}
