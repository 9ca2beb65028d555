// CPellixDlg: the console's main window (template 102). Its state and result
// display live in console_state.cpp; each area's handlers in a source of its
// own (device_commands, device_events, property_browser, statistics_panel,
// direct_io_panel); the frame handlers in main_frame.cpp.
#pragma once

#include "framework/dialog.h"
#include "scanner/opos_scanner.h"

struct DirectIOCommand;

class CPellixDlg : public CDialog {
public:
  explicit CPellixDlg(CWnd *pParent = nullptr);
  ~CPellixDlg() override;

  // Shows the last stored method result and the control's live ResultCode.
  void RefreshResults();

  CComboBox m_cbProperty;
  CEdit m_editScanDataType;
  CString m_strPropertyValue;
  CString m_strReturnValue;
  CString m_strResultCode;
  CString m_strScanDataLabel;
  COPOSScanner m_scanner;
  long m_nStatisticsCount;
  HICON m_hIcon;
  long m_nLastReturn;
  long m_nScanCount;
  CButton m_btnAutoEnable;
  CEdit m_editScanCount;
  const DirectIOCommand *m_pDirectIOCommand;
  CEdit m_editDirectIOOutput;
  CEdit m_editDirectIOInput;
  CEdit m_editDirectIOStatus;

protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange *pDX) override;
  bool OnCommand(UINT nCode, UINT nID) override;
  bool OnControlEvent(UINT nID, DISPID dispid, const DISPPARAMS &params) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT *pResult) override;

public:
  // Device commands
  void OnOpen();
  void OnClaim();
  void OnDeviceEnable();
  void OnDeviceDisable();
  void OnRelease();
  void OnClose();
  void OnCheckHealthInternal();
  void OnCheckHealthExternal();
  void OnCheckHealthInteractive();
  void OnClearInput();
  void OnDataEvents();
  void OnDecodeData();
  void OnAutoEnable();
  void OnHiddenClose() {}

  // Device events
  void OnDataEvent(long lStatus);
  void OnStatusUpdateEvent(long lStatus);
  // Shows the waiting power text in a message box, and then each newest one
  // that arrived while it was open; runs once, just after the status event
  // that found no box open.
  void ShowPendingPowerText();
  // Writes the scan count and the label field from m_nScanCount and
  // m_strScanDataLabel (with the rest of the bound fields).
  void ShowScanFields();
  // Posted to the window when a data event leaves its fields to be written
  // once the labels queued behind it have been handled.
  static constexpr UINT kShowScanFieldsMessage = WM_APP + 0x51;

  // Property browser
  void PopulateProperties();
  void OnPropertySelChange();
  void OnSetProperty();

  // Statistics panel
  void OnRetrieveStatistics();
  void OnUpdateStatistics();
  void OnResetStatistics();
  void OnClearInputProperties();
  void OnStatisticsCountChange();

  // Direct IO panel
  void PopulateDirectIOCommands();
  void OnDirectIOCommandSelChange();
  void OnExecuteDirectIO();
  void OnClearDirectIO();

  // Frame (main_frame.cpp); true when handled, false for the default
  // processing.
  bool OnSysCommand(UINT nID, LPARAM lParam);
  bool OnPaint();
  HCURSOR OnQueryDragIcon();

private:
  void ReleasePropertyRecords();

  // At most one power message box is open at a time; the newest text that
  // arrives meanwhile waits here and is shown once the open one is closed.
  // The flag is set from the moment a box is due until the last one closes.
  bool m_bPowerBoxOpen = false;
  CString m_strPendingPowerText;
  // A kShowScanFieldsMessage is on its way.
  bool m_bScanFieldsPosted = false;
  // OnOpen is running (its chooser or the control's Open).
  bool m_bOpenRunning = false;
};
