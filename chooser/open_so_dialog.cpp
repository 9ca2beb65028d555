// The service object chooser: the subkeys of the OPOS scanner key, read afresh
// at every showing, offered in a sorted editable list.
#include "chooser/open_so_dialog.h"

#include "app/resource.h"
#include "comkit/handles.h"
#include "common/std_output.h"

namespace {

const wchar_t kScannerKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner";

// Registry key names are at most 255 characters; the buffer holds that many
// plus the terminating zero, so every installed name is listed.
constexpr DWORD kNameBufferChars = 256;

void ListSubkeys(HKEY hKey, CComboBox &names) {
  DWORD cSubKeys = 0;
  RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
  if (cSubKeys == 0) return;

  // Names are written whole in any script: UTF-8 to a file or pipe, wide
  // characters to a console.
  PrintStandardOutput(L"\nNumber of subkeys: %d\n", static_cast<int>(cSubKeys));
  for (DWORD i = 0; i < cSubKeys; ++i) {
    wchar_t name[kNameBufferChars];
    DWORD cchName = kNameBufferChars;
    if (RegEnumKeyExW(hKey, i, name, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) continue;
    PrintStandardOutput(L"(%d) %ls\n", static_cast<int>(i + 1), name);
    names.AddString(name);
  }
}

} // namespace

COpenSODialog::COpenSODialog(CWnd *pParent) : CDialog(IDD_OPEN_SO, pParent) {}

void COpenSODialog::DoDataExchange(CDataExchange *pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_SO_NAMES, m_strName);
  DDX_Control(pDX, IDC_SO_NAMES, m_cbNames);
}

BOOL COpenSODialog::OnInitDialog() {
  CDialog::OnInitDialog();

  ScopedRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kScannerKey, KEY_READ) == ERROR_SUCCESS) ListSubkeys(key.Get(), m_cbNames);
  key.Close();

  m_cbNames.SetCurSel(0);
  return TRUE;
}
