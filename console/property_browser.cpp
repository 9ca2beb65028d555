// The property browser: list 1008 names the properties, edit 1009 shows the
// value of the chosen one, and Set Properties (1011) writes the edit's text
// back when the row may be written.
#include "console/property_browser.h"

#include "app/resource.h"
#include "console/pellix_dlg.h"

#include <cwchar>
#include <new>

namespace {

// The record of row nIndex, or null when the row has none.
PropertyAccessor *RecordAt(const CComboBox &list, int nIndex) {
  const DWORD_PTR data = list.GetItemData(nIndex);
  if (data == static_cast<DWORD_PTR>(CB_ERR)) return nullptr;
  return reinterpret_cast<PropertyAccessor *>(data);
}

} // namespace

void CPellixDlg::PopulateProperties() {
  // Adding rows leaves the closed list's box as it is: nothing to repaint
  // once they are in.
  m_cbProperty.SetRedraw(FALSE);
  for (const PropertyRow &row : kPropertyRows) {
    auto *pRecord = new (std::nothrow) PropertyAccessor(row.accessor);
    if (pRecord) pRecord->pScanner = &m_scanner;
    const int nIndex = m_cbProperty.AddString(row.pszLabel);
    if (nIndex < 0) {
      delete pRecord;
      continue;
    }
    // A row whose record could not be made stays without item data; both
    // handlers stop at such a row.
    if (pRecord && m_cbProperty.SetItemDataPtr(nIndex, pRecord) == CB_ERR) delete pRecord;
  }
  m_cbProperty.SetRedraw(TRUE);
}

void CPellixDlg::ReleasePropertyRecords() {
  if (!m_cbProperty.m_hWnd || !::IsWindow(m_cbProperty.m_hWnd)) return;
  const int nCount = m_cbProperty.GetCount();
  for (int i = 0; i < nCount; ++i) {
    delete RecordAt(m_cbProperty, i);
    m_cbProperty.SetItemData(i, 0);
  }
}

void CPellixDlg::OnPropertySelChange() {
  const int nIndex = m_cbProperty.GetCurSel();
  if (nIndex < 0) return;
  const PropertyAccessor *pRecord = RecordAt(m_cbProperty, nIndex);
  if (!pRecord) return;

  COPOSScanner *pScanner = pRecord->pScanner;
  CString strValue;
  switch (pRecord->nKind) {
  case PK_BOOL:
    if (pRecord->pfnGetBool) strValue.Format(L"%d", static_cast<int>((pScanner->*pRecord->pfnGetBool)()));
    break;
  case PK_LONG:
    if (pRecord->pfnGetLong) strValue.Format(L"%d", static_cast<int>((pScanner->*pRecord->pfnGetLong)()));
    break;
  case PK_STRING:
    if (pRecord->pfnGetString)
      strValue.Format(L"%s", static_cast<const wchar_t *>((pScanner->*pRecord->pfnGetString)()));
    break;
  case PK_INT64:
    if (pRecord->pfnGetInt64) {
      wchar_t szValue[24];
      _i64tow((pScanner->*pRecord->pfnGetInt64)(), szValue, 10);
      strValue = szValue;
    }
    break;
  default:
    break;
  }

  ::EnableWindow(GetDlgItem(IDC_SET_PROPERTIES), pRecord->bReadOnly ? FALSE : TRUE);
  m_strPropertyValue = strValue;
  ::SendMessageW(GetDlgItem(IDC_PROPERTY_VALUE), EM_SETREADONLY, static_cast<WPARAM>(pRecord->bReadOnly), 0);
  RefreshResults();
  UpdateData(false);
}

void CPellixDlg::OnSetProperty() {
  // A field elsewhere that fails the exchange does not stop the write.
  UpdateData(true);

  const int nIndex = m_cbProperty.GetCurSel();
  if (nIndex < 0) return;
  const PropertyAccessor *pRecord = RecordAt(m_cbProperty, nIndex);
  if (!pRecord) return;

  if (pRecord->bReadOnly) {
    RefreshResults();
    return;
  }

  // The whole text must be one base-10 number: leading blanks and one sign
  // are accepted, values beyond 32 bits become the nearest limit, an empty
  // field is 0; anything after the number writes nothing at all.
  const CString strText = GetDlgItemText(IDC_PROPERTY_VALUE);
  const wchar_t *pszText = strText;
  wchar_t *pszEnd = nullptr;
  const long nValue = std::wcstol(pszText, &pszEnd, 10);
  if (!pszEnd || *pszEnd != L'\0') return;

  COPOSScanner *pScanner = pRecord->pScanner;
  switch (pRecord->nKind) {
  case PK_BOOL:
    if (pRecord->pfnSetBool) (pScanner->*pRecord->pfnSetBool)(nValue);
    break;
  case PK_LONG:
    if (pRecord->pfnSetLong) (pScanner->*pRecord->pfnSetLong)(nValue);
    break;
  case PK_INT64:
    if (pRecord->pfnSetInt64) (pScanner->*pRecord->pfnSetInt64)(static_cast<LONGLONG>(nValue));
    break;
  default:
    break;
  }
  RefreshResults();
}
