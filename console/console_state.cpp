// The main window's state, its bindings to the controls, its start-up and the
// result display every command ends with.
#include "console/pellix_dlg.h"

#include "app/resource.h"
#include "console/result_names.h"

namespace {

// The message map: (notification, control) to handler.
const CommandEntry<CPellixDlg> kCommandMap[] = {
    {BN_CLICKED, IDC_OPEN, &CPellixDlg::OnOpen},
    {BN_CLICKED, IDC_CLAIM, &CPellixDlg::OnClaim},
    {BN_CLICKED, IDC_DEVICE_ENABLE, &CPellixDlg::OnDeviceEnable},
    {BN_CLICKED, IDC_DEVICE_DISABLE, &CPellixDlg::OnDeviceDisable},
    {BN_CLICKED, IDC_RELEASE, &CPellixDlg::OnRelease},
    {BN_CLICKED, IDC_CLOSE, &CPellixDlg::OnClose},
    {BN_CLICKED, IDC_CH_INTERNAL, &CPellixDlg::OnCheckHealthInternal},
    {BN_CLICKED, IDC_CH_EXTERNAL, &CPellixDlg::OnCheckHealthExternal},
    {BN_CLICKED, IDC_CH_INTERACTIVE, &CPellixDlg::OnCheckHealthInteractive},
    {BN_CLICKED, IDC_CLEAR_INPUT, &CPellixDlg::OnClearInput},
    {BN_CLICKED, IDC_DATA_EVENTS, &CPellixDlg::OnDataEvents},
    {BN_CLICKED, IDC_DECODE_DATA, &CPellixDlg::OnDecodeData},
    {BN_CLICKED, IDC_AUTO_ENABLE, &CPellixDlg::OnAutoEnable},
    {BN_CLICKED, IDC_HIDDEN_CLOSE, &CPellixDlg::OnHiddenClose},
    {CBN_SELCHANGE, IDC_PROPERTY_LIST, &CPellixDlg::OnPropertySelChange},
    {BN_CLICKED, IDC_SET_PROPERTIES, &CPellixDlg::OnSetProperty},
    {BN_CLICKED, IDC_RETRIEVE_STATISTICS, &CPellixDlg::OnRetrieveStatistics},
    {BN_CLICKED, IDC_UPDATE_STATISTICS, &CPellixDlg::OnUpdateStatistics},
    {BN_CLICKED, IDC_RESET_STATISTICS, &CPellixDlg::OnResetStatistics},
    {BN_CLICKED, IDC_CLEAR_INPUT_PROPERTIES, &CPellixDlg::OnClearInputProperties},
    {EN_CHANGE, IDC_STATISTICS_COUNT, &CPellixDlg::OnStatisticsCountChange},
    {CBN_SELCHANGE, IDC_DIRECTIO_COMMAND, &CPellixDlg::OnDirectIOCommandSelChange},
    {BN_CLICKED, IDC_DIRECTIO_EXECUTE, &CPellixDlg::OnExecuteDirectIO},
    {BN_CLICKED, IDC_DIRECTIO_CLEAR, &CPellixDlg::OnClearDirectIO},
};

// The event map of the hosted scanner control.
const EventEntry<CPellixDlg> kEventMap[] = {
    {IDC_SCANNER_CONTROL, 1 /* DataEvent */, &CPellixDlg::OnDataEvent},
    {IDC_SCANNER_CONTROL, 5 /* StatusUpdateEvent */, &CPellixDlg::OnStatusUpdateEvent},
};

} // namespace

CPellixDlg::CPellixDlg(CWnd *pParent)
    : CDialog(IDD_PELLIX_DIALOG, pParent), m_nStatisticsCount(0),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))), m_nLastReturn(0), m_nScanCount(0),
      m_pDirectIOCommand(nullptr) {}

CPellixDlg::~CPellixDlg() {
  // The records belong to the property list's rows; free them while the list
  // still exists (a modeless window may still be open here).
  ReleasePropertyRecords();
}

void CPellixDlg::DoDataExchange(CDataExchange *pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PROPERTY_LIST, m_cbProperty);
  DDX_Control(pDX, IDC_SCAN_DATA_TYPE, m_editScanDataType);
  DDX_Text(pDX, IDC_PROPERTY_VALUE, m_strPropertyValue);
  DDX_Text(pDX, IDC_RETURN_VALUE, m_strReturnValue);
  DDX_Text(pDX, IDC_RESULT_CODE, m_strResultCode);
  DDX_Text(pDX, IDC_SCAN_DATA_LABEL, m_strScanDataLabel);
  DDX_Control(pDX, IDC_SCANNER_CONTROL, m_scanner);
  DDX_Text(pDX, IDC_STATISTICS_COUNT, m_nStatisticsCount);
  DDX_Control(pDX, IDC_AUTO_ENABLE, m_btnAutoEnable);
  DDX_Control(pDX, IDC_SCAN_COUNT, m_editScanCount);
  DDX_Control(pDX, IDC_DIRECTIO_OUTPUT, m_editDirectIOOutput);
  DDX_Control(pDX, IDC_DIRECTIO_INPUT, m_editDirectIOInput);
  DDX_Control(pDX, IDC_DIRECTIO_STATUS, m_editDirectIOStatus);
}

BOOL CPellixDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // The caption says which OPOS stack this console reaches: the 32-bit one or
  // the 64-bit one (each has its own control objects and registry view).
  SetWindowText(sizeof(void *) == 8 ? L"Quillon (64bit)" : L"Quillon (32bit)");

  CString strAboutMenu;
  strAboutMenu.LoadString(IDS_ABOUTBOX);
  if (!strAboutMenu.IsEmpty()) {
    if (HMENU hSysMenu = GetSystemMenu(FALSE)) {
      AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, strAboutMenu);
    }
  }

  // The small icon first: a big icon set alone would have the window make a
  // small copy of it that the next call throws away.
  SetIcon(m_hIcon, FALSE);
  SetIcon(m_hIcon, TRUE);

  UpdateDialogControls();
  PopulateProperties();

  ::EnableWindow(GetDlgItem(IDC_SCAN_DATA_TYPE), FALSE);
  ::EnableWindow(GetDlgItem(IDC_RETURN_VALUE), FALSE);
  ::EnableWindow(GetDlgItem(IDC_RESULT_CODE), FALSE);

  UpdateData(false);
  PopulateDirectIOCommands();
  return TRUE;
}

void CPellixDlg::RefreshResults() {
  m_strReturnValue = ResultCodeName(m_nLastReturn);
  wchar_t count[16];
  _ltow(m_nScanCount, count, 10);
  m_editScanCount.SetWindowText(count);
  m_strResultCode = ResultCodeName(m_scanner.GetResultCode());
  UpdateData(false);
}

bool CPellixDlg::OnCommand(UINT nCode, UINT nID) {
  return DispatchCommand(*this, kCommandMap, nCode, nID) || CDialog::OnCommand(nCode, nID);
}

bool CPellixDlg::OnControlEvent(UINT nID, DISPID dispid, const DISPPARAMS &params) {
  return DispatchEvent(*this, kEventMap, nID, dispid, params) || CDialog::OnControlEvent(nID, dispid, params);
}

bool CPellixDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT *pResult) {
  switch (msg) {
  case WM_SYSCOMMAND:
    *pResult = 0;
    return OnSysCommand(static_cast<UINT>(wp), lp);
  case WM_PAINT:
    *pResult = 0;
    return OnPaint();
  case WM_DESTROY:
    // The list still exists here: free the records its rows carry.
    ReleasePropertyRecords();
    return false;
  case kShowScanFieldsMessage:
    *pResult = 0;
    ShowScanFields();
    return true;
  case WM_QUERYDRAGICON:
    *pResult = reinterpret_cast<LRESULT>(OnQueryDragIcon());
    return true;
  default:
    return CDialog::OnMessage(msg, wp, lp, pResult);
  }
}
