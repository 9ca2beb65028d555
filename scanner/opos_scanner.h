// COPOSScanner: the typed wrapper over the OPOS Scanner control's dispatch
// interface. Every accessor is one late-bound call; the wrapper holds nothing
// but the window handle of the hosted control.
#pragma once

#include "framework/runtime_class.h"
#include "framework/wnd.h"

// {CCB90182-B81E-11D2-AB74-0040054C3719}: the OPOS Scanner control object.
extern const CLSID CLSID_OPOSScanner;

class COPOSScanner : public CWnd {
public:
  DECLARE_DYNCREATE(COPOSScanner)

  // Creates the control itself from CLSID_OPOSScanner (the console's
  // template creates it instead, and data exchange attaches the wrapper).
  void Create(const wchar_t *pszWindowName, DWORD dwStyle, const RECT &rect, CWnd *pParent, UINT nID) {
    CreateControl(CLSID_OPOSScanner, pszWindowName, dwStyle, rect, pParent, nID);
  }

  // Methods: each returns the OPOS result code of the call.
  long CheckHealth(long lLevel);
  long ClaimDevice(long lTimeout);
  long ClearInput();
  long Close();
  long DirectIO(long lCommand, long *plData, BSTR *pbstrData);
  long Open(const wchar_t *pszDeviceName);
  long ReleaseDevice();
  long ResetStatistics(const wchar_t *pszStatisticsBuffer);
  long RetrieveStatistics(BSTR *pbstrStatisticsBuffer);
  long UpdateStatistics(const wchar_t *pszStatisticsBuffer);
  long ClearInputProperties();

  // Property reads. Booleans come back exactly 0 or 1.
  long GetAutoDisable();
  long GetBinaryConversion();
  long GetCapPowerReporting();
  CString GetCheckHealthText();
  long GetClaimed();
  long GetDataCount();
  long GetDataEventEnabled();
  long GetDeviceEnabled();
  long GetFreezeEvents();
  long GetPowerNotify();
  long GetPowerState();
  long GetResultCode();
  long GetResultCodeExtended();
  long GetState();
  CString GetControlObjectDescription();
  long GetControlObjectVersion();
  CString GetServiceObjectDescription();
  long GetServiceObjectVersion();
  CString GetDeviceDescription();
  CString GetDeviceName();
  long GetCapStatisticsReporting();
  long GetCapUpdateStatistics();
  long GetCapCompareFirmwareVersion();
  long GetCapUpdateFirmware();
  long GetDecodeData();
  CString GetScanData();
  CString GetScanDataLabel();
  long GetScanDataType();

  // Property writes. Booleans: any non-zero value is sent as true.
  void SetAutoDisable(long bNewValue);
  void SetBinaryConversion(long lNewValue);
  void SetDataEventEnabled(long bNewValue);
  void SetDeviceEnabled(long bNewValue);
  void SetFreezeEvents(long bNewValue);
  void SetPowerNotify(long lNewValue);
  void SetDecodeData(long bNewValue);

protected:
  const wchar_t *GetDispatchName(DISPID dispid) const override;
};
