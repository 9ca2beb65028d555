// The property browser's rows: what each entry of the property list reads
// and, when it may, writes on the scanner control.
#pragma once

#include "scanner/opos_scanner.h"

// Which getter and setter of a PropertyAccessor apply.
enum PropertyKind : long {
  PK_BOOL = 0,   // boolean, shown as 0 or 1
  PK_LONG = 1,   // 32-bit signed long
  PK_STRING = 2, // text, never written
  PK_INT64 = 3,  // signed 64-bit value (no row of the list has one)
};

// One row of the property list, attached to the row as its item data. Only
// the pointer, the kind, the flag and the accessors of the row's kind are
// filled in; the others are null.
struct PropertyAccessor {
  COPOSScanner *pScanner; // the dialog's wrapper; not owned
  long (COPOSScanner::*pfnGetBool)();
  void (COPOSScanner::*pfnSetBool)(long);
  long (COPOSScanner::*pfnGetLong)();
  void (COPOSScanner::*pfnSetLong)(long);
  CString (COPOSScanner::*pfnGetString)();
  LONGLONG (COPOSScanner::*pfnGetInt64)();
  void (COPOSScanner::*pfnSetInt64)(LONGLONG);
  PropertyKind nKind;
  BOOL bReadOnly; // non-zero: the console never writes this property
};

// A row of the list as the table describes it: its label and its record,
// without the wrapper pointer, which the dialog fills in.
struct PropertyRow {
  const wchar_t *pszLabel;
  PropertyAccessor accessor;
};

namespace property_rows {

using BoolGetter = long (COPOSScanner::*)();
using BoolSetter = void (COPOSScanner::*)(long);
using LongGetter = long (COPOSScanner::*)();
using LongSetter = void (COPOSScanner::*)(long);
using StringGetter = CString (COPOSScanner::*)();

// A boolean row; read-only without a setter.
constexpr PropertyRow Bool(const wchar_t *pszLabel, BoolGetter get, BoolSetter set = nullptr) {
  return {pszLabel, {nullptr, get, set, nullptr, nullptr, nullptr, nullptr, nullptr, PK_BOOL, set ? FALSE : TRUE}};
}
// A long row; read-only without a setter.
constexpr PropertyRow Long(const wchar_t *pszLabel, LongGetter get, LongSetter set = nullptr) {
  return {pszLabel, {nullptr, nullptr, nullptr, get, set, nullptr, nullptr, nullptr, PK_LONG, set ? FALSE : TRUE}};
}
// A string row, always read-only.
constexpr PropertyRow String(const wchar_t *pszLabel, StringGetter get) {
  return {pszLabel, {nullptr, nullptr, nullptr, nullptr, nullptr, get, nullptr, nullptr, PK_STRING, TRUE}};
}

} // namespace property_rows

// The property list, in the order the user sees it (the list does not sort).
inline constexpr PropertyRow kPropertyRows[] = {
    property_rows::Bool(L"PIDX_Claimed", &COPOSScanner::GetClaimed),
    property_rows::Bool(L"PIDX_DataEventEnabled", &COPOSScanner::GetDataEventEnabled,
                        &COPOSScanner::SetDataEventEnabled),
    property_rows::Bool(L"PIDX_DeviceEnabled", &COPOSScanner::GetDeviceEnabled, &COPOSScanner::SetDeviceEnabled),
    property_rows::Bool(L"PIDX_FreezeEvents", &COPOSScanner::GetFreezeEvents, &COPOSScanner::SetFreezeEvents),
    property_rows::Long(L"PIDX_ResultCode", &COPOSScanner::GetResultCode),
    property_rows::Long(L"PIDX_ResultCodeExtended", &COPOSScanner::GetResultCodeExtended),
    property_rows::Long(L"PIDX_ServiceObjectVersion", &COPOSScanner::GetServiceObjectVersion),
    property_rows::Long(L"PIDX_State", &COPOSScanner::GetState),
    property_rows::Bool(L"PIDX_AutoDisable", &COPOSScanner::GetAutoDisable, &COPOSScanner::SetAutoDisable),
    property_rows::Long(L"PIDX_BinaryConversion", &COPOSScanner::GetBinaryConversion,
                        &COPOSScanner::SetBinaryConversion),
    property_rows::Long(L"PIDX_DataCount", &COPOSScanner::GetDataCount),
    property_rows::Long(L"PIDX_PowerNotify", &COPOSScanner::GetPowerNotify, &COPOSScanner::SetPowerNotify),
    property_rows::Long(L"PIDX_PowerState", &COPOSScanner::GetPowerState),
    property_rows::Long(L"PIDX_CapPowerReporting", &COPOSScanner::GetCapPowerReporting),
    property_rows::Bool(L"PIDXScan_DecodeData", &COPOSScanner::GetDecodeData, &COPOSScanner::SetDecodeData),
    property_rows::Long(L"PIDXScan_ScanDataType", &COPOSScanner::GetScanDataType),
    property_rows::String(L"PIDX_CheckHealthText", &COPOSScanner::GetCheckHealthText),
    property_rows::String(L"PIDX_DeviceDescription", &COPOSScanner::GetDeviceDescription),
    property_rows::String(L"PIDX_DeviceName", &COPOSScanner::GetDeviceName),
    property_rows::String(L"PIDX_ServiceObjectDescription", &COPOSScanner::GetServiceObjectDescription),
    property_rows::String(L"PIDXScan_ScanData", &COPOSScanner::GetScanData),
    property_rows::String(L"PIDXScan_ScanDataLabel", &COPOSScanner::GetScanDataLabel),
    property_rows::String(L"PIDXScan_ControlObjectDescription", &COPOSScanner::GetControlObjectDescription),
    property_rows::Long(L"PIDXScan_ControlObjectVersion", &COPOSScanner::GetControlObjectVersion),
    property_rows::Bool(L"PIDX_CapStatisticsReporting", &COPOSScanner::GetCapStatisticsReporting),
    property_rows::Bool(L"PIDX_CapUpdateStatistics", &COPOSScanner::GetCapUpdateStatistics),
    property_rows::Bool(L"PIDX_CapCompareFirmwareVersion", &COPOSScanner::GetCapCompareFirmwareVersion),
    property_rows::Bool(L"PIDX_CapUpdateFirmware", &COPOSScanner::GetCapUpdateFirmware),
};
static_assert(sizeof(kPropertyRows) / sizeof(kPropertyRows[0]) == 28);
