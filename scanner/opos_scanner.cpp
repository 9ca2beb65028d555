#include "opos_scanner.h"

#include <cstddef>
#include <type_traits>
#include <utility>

const CLSID CLSID_OPOSScanner = {0xCCB90182, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};

IMPLEMENT_DYNCREATE(COPOSScanner)

namespace {

// One row per accessor, in the order of this enumeration.
enum Accessor : size_t {
  // Methods
  kCheckHealth,
  kClaimDevice,
  kClearInput,
  kClose,
  kDirectIO,
  kOpen,
  kReleaseDevice,
  kResetStatistics,
  kRetrieveStatistics,
  kUpdateStatistics,
  kClearInputProperties,
  // Property reads
  kGetAutoDisable,
  kGetBinaryConversion,
  kGetCapPowerReporting,
  kGetCheckHealthText,
  kGetClaimed,
  kGetDataCount,
  kGetDataEventEnabled,
  kGetDeviceEnabled,
  kGetFreezeEvents,
  kGetPowerNotify,
  kGetPowerState,
  kGetResultCode,
  kGetResultCodeExtended,
  kGetState,
  kGetControlObjectDescription,
  kGetControlObjectVersion,
  kGetServiceObjectDescription,
  kGetServiceObjectVersion,
  kGetDeviceDescription,
  kGetDeviceName,
  kGetCapStatisticsReporting,
  kGetCapUpdateStatistics,
  kGetCapCompareFirmwareVersion,
  kGetCapUpdateFirmware,
  kGetDecodeData,
  kGetScanData,
  kGetScanDataLabel,
  kGetScanDataType,
  // Property writes
  kSetAutoDisable,
  kSetBinaryConversion,
  kSetDataEventEnabled,
  kSetDeviceEnabled,
  kSetFreezeEvents,
  kSetPowerNotify,
  kSetDecodeData,
  kAccessorCount
};

constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;

constexpr VARTYPE kLong = VT_I4;
constexpr VARTYPE kBool = VT_BOOL;
constexpr VARTYPE kString = VT_BSTR;
constexpr VARTYPE kNone = VT_EMPTY;
constexpr VARTYPE kLongRef = VT_BYREF | VT_I4;
constexpr VARTYPE kStringRef = VT_BYREF | VT_BSTR;

struct DispatchEntry {
  Accessor accessor;
  DISPID dispid;
  const wchar_t *name; // the OPOS name of the operation or property
  WORD kind;
  VARTYPE result;
  VARTYPE args[3]; // argument types in call order; kNone ends the list
};

// The control's dispatch interface as the console uses it.
constexpr DispatchEntry kDispatchTable[] = {
    {kCheckHealth, 31, L"CheckHealth", kMethod, kLong, {kLong}},
    {kClaimDevice, 32, L"ClaimDevice", kMethod, kLong, {kLong}},
    {kClearInput, 33, L"ClearInput", kMethod, kLong, {}},
    {kClose, 35, L"Close", kMethod, kLong, {}},
    {kDirectIO, 36, L"DirectIO", kMethod, kLong, {kLong, kLongRef, kStringRef}},
    {kOpen, 37, L"Open", kMethod, kLong, {kString}},
    {kReleaseDevice, 38, L"ReleaseDevice", kMethod, kLong, {}},
    {kResetStatistics, 41, L"ResetStatistics", kMethod, kLong, {kString}},
    {kRetrieveStatistics, 42, L"RetrieveStatistics", kMethod, kLong, {kStringRef}},
    {kUpdateStatistics, 43, L"UpdateStatistics", kMethod, kLong, {kString}},
    {kClearInputProperties, 48, L"ClearInputProperties", kMethod, kLong, {}},

    {kGetAutoDisable, 10, L"AutoDisable", kGet, kBool, {}},
    {kGetBinaryConversion, 11, L"BinaryConversion", kGet, kLong, {}},
    {kGetCapPowerReporting, 12, L"CapPowerReporting", kGet, kLong, {}},
    {kGetCheckHealthText, 13, L"CheckHealthText", kGet, kString, {}},
    {kGetClaimed, 14, L"Claimed", kGet, kBool, {}},
    {kGetDataCount, 15, L"DataCount", kGet, kLong, {}},
    {kGetDataEventEnabled, 16, L"DataEventEnabled", kGet, kBool, {}},
    {kGetDeviceEnabled, 17, L"DeviceEnabled", kGet, kBool, {}},
    {kGetFreezeEvents, 18, L"FreezeEvents", kGet, kBool, {}},
    {kGetPowerNotify, 20, L"PowerNotify", kGet, kLong, {}},
    {kGetPowerState, 21, L"PowerState", kGet, kLong, {}},
    {kGetResultCode, 22, L"ResultCode", kGet, kLong, {}},
    {kGetResultCodeExtended, 23, L"ResultCodeExtended", kGet, kLong, {}},
    {kGetState, 24, L"State", kGet, kLong, {}},
    {kGetControlObjectDescription, 25, L"ControlObjectDescription", kGet, kString, {}},
    {kGetControlObjectVersion, 26, L"ControlObjectVersion", kGet, kLong, {}},
    {kGetServiceObjectDescription, 27, L"ServiceObjectDescription", kGet, kString, {}},
    {kGetServiceObjectVersion, 28, L"ServiceObjectVersion", kGet, kLong, {}},
    {kGetDeviceDescription, 29, L"DeviceDescription", kGet, kString, {}},
    {kGetDeviceName, 30, L"DeviceName", kGet, kString, {}},
    {kGetCapStatisticsReporting, 39, L"CapStatisticsReporting", kGet, kBool, {}},
    {kGetCapUpdateStatistics, 40, L"CapUpdateStatistics", kGet, kBool, {}},
    {kGetCapCompareFirmwareVersion, 44, L"CapCompareFirmwareVersion", kGet, kBool, {}},
    {kGetCapUpdateFirmware, 45, L"CapUpdateFirmware", kGet, kBool, {}},
    {kGetDecodeData, 50, L"DecodeData", kGet, kBool, {}},
    {kGetScanData, 51, L"ScanData", kGet, kString, {}},
    {kGetScanDataLabel, 52, L"ScanDataLabel", kGet, kString, {}},
    {kGetScanDataType, 53, L"ScanDataType", kGet, kLong, {}},

    {kSetAutoDisable, 10, L"AutoDisable", kPut, kNone, {kBool}},
    {kSetBinaryConversion, 11, L"BinaryConversion", kPut, kNone, {kLong}},
    {kSetDataEventEnabled, 16, L"DataEventEnabled", kPut, kNone, {kBool}},
    {kSetDeviceEnabled, 17, L"DeviceEnabled", kPut, kNone, {kBool}},
    {kSetFreezeEvents, 18, L"FreezeEvents", kPut, kNone, {kBool}},
    {kSetPowerNotify, 20, L"PowerNotify", kPut, kNone, {kLong}},
    {kSetDecodeData, 50, L"DecodeData", kPut, kNone, {kBool}},
};

constexpr bool RowsInAccessorOrder() {
  if (std::size(kDispatchTable) != kAccessorCount) return false;
  for (size_t i = 0; i < kAccessorCount; ++i)
    if (kDispatchTable[i].accessor != i) return false;
  return true;
}
static_assert(RowsInAccessorOrder(), "one row per accessor, in the order of Accessor");

constexpr size_t ArgCount(const DispatchEntry &e) {
  size_t n = 0;
  while (n < std::size(e.args) && e.args[n] != kNone)
    ++n;
  return n;
}

// The C++ type that carries a value of each boundary type.
template <VARTYPE vt> struct ArgTypeOf;
template <> struct ArgTypeOf<VT_I4> { using type = long; };
template <> struct ArgTypeOf<VT_BOOL> { using type = long; };
template <> struct ArgTypeOf<VT_BSTR> { using type = const wchar_t *; };
template <> struct ArgTypeOf<VT_BYREF | VT_I4> { using type = long *; };
template <> struct ArgTypeOf<VT_BYREF | VT_BSTR> { using type = BSTR *; };

template <VARTYPE vt> struct ResultTypeOf;
template <> struct ResultTypeOf<VT_I4> { using type = long; };
template <> struct ResultTypeOf<VT_BOOL> { using type = long; };
template <> struct ResultTypeOf<VT_BSTR> { using type = CString; };
template <> struct ResultTypeOf<VT_EMPTY> { using type = void; };

// One call as the row of accessor A describes it. The argument list must
// match the row's types exactly, which the compiler checks.
template <Accessor A, class... Args, size_t... I>
auto CallRow(const CWnd &wnd, std::index_sequence<I...>, Args... args) {
  constexpr DispatchEntry e = kDispatchTable[A];
  static_assert(sizeof...(Args) == ArgCount(e), "argument count differs from the dispatch table");
  static_assert((std::is_same_v<Args, typename ArgTypeOf<e.args[I]>::type> && ...),
                "argument type differs from the dispatch table");
  using Result = typename ResultTypeOf<e.result>::type;
  if constexpr (std::is_void_v<Result>) {
    wnd.InvokeHelper(e.dispid, e.kind, e.result, nullptr, {DispatchArg(e.args[I], args)...});
  } else {
    Result result{};
    wnd.InvokeHelper(e.dispid, e.kind, e.result, &result, {DispatchArg(e.args[I], args)...});
    return result;
  }
}

template <Accessor A, class... Args> auto Call(const CWnd &wnd, Args... args) {
  return CallRow<A>(wnd, std::index_sequence_for<Args...>{}, args...);
}

} // namespace

const wchar_t *COPOSScanner::GetDispatchName(DISPID dispid) const {
  for (const DispatchEntry &e : kDispatchTable)
    if (e.dispid == dispid) return e.name;
  return nullptr;
}

long COPOSScanner::CheckHealth(long lLevel) { return Call<kCheckHealth>(*this, lLevel); }
long COPOSScanner::ClaimDevice(long lTimeout) { return Call<kClaimDevice>(*this, lTimeout); }
long COPOSScanner::ClearInput() { return Call<kClearInput>(*this); }
long COPOSScanner::Close() { return Call<kClose>(*this); }
long COPOSScanner::DirectIO(long lCommand, long *plData, BSTR *pbstrData) {
  return Call<kDirectIO>(*this, lCommand, plData, pbstrData);
}
long COPOSScanner::Open(const wchar_t *pszDeviceName) { return Call<kOpen>(*this, pszDeviceName); }
long COPOSScanner::ReleaseDevice() { return Call<kReleaseDevice>(*this); }
long COPOSScanner::ResetStatistics(const wchar_t *pszStatisticsBuffer) {
  return Call<kResetStatistics>(*this, pszStatisticsBuffer);
}
long COPOSScanner::RetrieveStatistics(BSTR *pbstrStatisticsBuffer) {
  return Call<kRetrieveStatistics>(*this, pbstrStatisticsBuffer);
}
long COPOSScanner::UpdateStatistics(const wchar_t *pszStatisticsBuffer) {
  return Call<kUpdateStatistics>(*this, pszStatisticsBuffer);
}
long COPOSScanner::ClearInputProperties() { return Call<kClearInputProperties>(*this); }

long COPOSScanner::GetAutoDisable() { return Call<kGetAutoDisable>(*this); }
long COPOSScanner::GetBinaryConversion() { return Call<kGetBinaryConversion>(*this); }
long COPOSScanner::GetCapPowerReporting() { return Call<kGetCapPowerReporting>(*this); }
CString COPOSScanner::GetCheckHealthText() { return Call<kGetCheckHealthText>(*this); }
long COPOSScanner::GetClaimed() { return Call<kGetClaimed>(*this); }
long COPOSScanner::GetDataCount() { return Call<kGetDataCount>(*this); }
long COPOSScanner::GetDataEventEnabled() { return Call<kGetDataEventEnabled>(*this); }
long COPOSScanner::GetDeviceEnabled() { return Call<kGetDeviceEnabled>(*this); }
long COPOSScanner::GetFreezeEvents() { return Call<kGetFreezeEvents>(*this); }
long COPOSScanner::GetPowerNotify() { return Call<kGetPowerNotify>(*this); }
long COPOSScanner::GetPowerState() { return Call<kGetPowerState>(*this); }
long COPOSScanner::GetResultCode() { return Call<kGetResultCode>(*this); }
long COPOSScanner::GetResultCodeExtended() { return Call<kGetResultCodeExtended>(*this); }
long COPOSScanner::GetState() { return Call<kGetState>(*this); }
CString COPOSScanner::GetControlObjectDescription() { return Call<kGetControlObjectDescription>(*this); }
long COPOSScanner::GetControlObjectVersion() { return Call<kGetControlObjectVersion>(*this); }
CString COPOSScanner::GetServiceObjectDescription() { return Call<kGetServiceObjectDescription>(*this); }
long COPOSScanner::GetServiceObjectVersion() { return Call<kGetServiceObjectVersion>(*this); }
CString COPOSScanner::GetDeviceDescription() { return Call<kGetDeviceDescription>(*this); }
CString COPOSScanner::GetDeviceName() { return Call<kGetDeviceName>(*this); }
long COPOSScanner::GetCapStatisticsReporting() { return Call<kGetCapStatisticsReporting>(*this); }
long COPOSScanner::GetCapUpdateStatistics() { return Call<kGetCapUpdateStatistics>(*this); }
long COPOSScanner::GetCapCompareFirmwareVersion() { return Call<kGetCapCompareFirmwareVersion>(*this); }
long COPOSScanner::GetCapUpdateFirmware() { return Call<kGetCapUpdateFirmware>(*this); }
long COPOSScanner::GetDecodeData() { return Call<kGetDecodeData>(*this); }
CString COPOSScanner::GetScanData() { return Call<kGetScanData>(*this); }
CString COPOSScanner::GetScanDataLabel() { return Call<kGetScanDataLabel>(*this); }
long COPOSScanner::GetScanDataType() { return Call<kGetScanDataType>(*this); }

void COPOSScanner::SetAutoDisable(long bNewValue) { Call<kSetAutoDisable>(*this, bNewValue); }
void COPOSScanner::SetBinaryConversion(long lNewValue) { Call<kSetBinaryConversion>(*this, lNewValue); }
void COPOSScanner::SetDataEventEnabled(long bNewValue) { Call<kSetDataEventEnabled>(*this, bNewValue); }
void COPOSScanner::SetDeviceEnabled(long bNewValue) { Call<kSetDeviceEnabled>(*this, bNewValue); }
void COPOSScanner::SetFreezeEvents(long bNewValue) { Call<kSetFreezeEvents>(*this, bNewValue); }
void COPOSScanner::SetPowerNotify(long lNewValue) { Call<kSetPowerNotify>(*this, lNewValue); }
void COPOSScanner::SetDecodeData(long bNewValue) { Call<kSetDecodeData>(*this, bNewValue); }
