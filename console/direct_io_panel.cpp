// The Direct IO panel: choose a vendor command from list 1043, edit its XML
// argument in 1041, send it with Execute and read the reply (1045) and the
// data value (1047).
#include "console/direct_io_panel.h"

#include "app/resource.h"
#include "console/pellix_dlg.h"
#include "comkit/handles.h"

#include <cstdlib>

namespace {

// The row an entry of the command list carries, or null when the entry is
// missing or does not point into the table.
const DirectIOCommand *CommandAt(const CComboBox &list, int nIndex) {
  if (nIndex < 0) return nullptr;
  const DWORD_PTR data = list.GetItemData(nIndex);
  for (const DirectIOCommand &row : kDirectIOCommands)
    if (data == reinterpret_cast<DWORD_PTR>(&row)) return &row;
  return nullptr;
}

} // namespace

void CPellixDlg::PopulateDirectIOCommands() {
  CComboBox list;
  list.Attach(GetDlgItem(IDC_DIRECTIO_COMMAND));
  for (const DirectIOCommand &row : kDirectIOCommands) {
    const int nIndex = list.AddString(row.pszName);
    if (nIndex >= 0) list.SetItemDataPtr(nIndex, const_cast<DirectIOCommand *>(&row));
  }
  list.SetCurSel(0);
  m_pDirectIOCommand = CommandAt(list, list.GetCurSel());

  // A technician may paste an argument of any length; the edit control's
  // default limit (30,000 characters) would cut it short.
  m_editDirectIOInput.SetLimitText(0);
}

void CPellixDlg::OnDirectIOCommandSelChange() {
  CComboBox list;
  list.Attach(GetDlgItem(IDC_DIRECTIO_COMMAND));
  const DirectIOCommand *pCommand = CommandAt(list, list.GetCurSel());
  if (!pCommand) return; // no selection: keep the current command and input
  m_pDirectIOCommand = pCommand;
  m_editDirectIOInput.SetWindowText(pCommand->pszDefaultInput);
}

void CPellixDlg::OnExecuteDirectIO() {
  if (!m_pDirectIOCommand) return;

  // The BSTR is released on every path, whichever string the control left in
  // the by-reference argument.
  ScopedBstr bstrData;
  bstrData.Reset(m_editDirectIOInput.GetWindowText().AllocSysString());
  long nData = -1;
  const long nResult = m_scanner.DirectIO(m_pDirectIOCommand->nCommand, &nData, bstrData.InOut());

  wchar_t szStatus[16];
  _ltow(nData, szStatus, 10);
  m_editDirectIOStatus.SetWindowText(szStatus);

  if (nResult == 0) {
    const BSTR bstrReply = bstrData.Get();
    m_editDirectIOOutput.SetWindowText(bstrReply ? CString(bstrReply, static_cast<int>(SysStringLen(bstrReply)))
                                                 : CString());
  } else {
    m_editDirectIOOutput.SetWindowText(L"");
  }
  bstrData.Reset();

  RefreshResults();
}

void CPellixDlg::OnClearDirectIO() {
  m_editDirectIOOutput.SetWindowText(L"");
  m_editDirectIOStatus.SetWindowText(L"");
}
