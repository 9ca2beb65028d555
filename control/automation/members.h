// The dispatch members of the scanner control: one table of names, dispatch
// IDs and argument types that IDispatch::Invoke, GetIDsOfNames and any type
// information read. A property's type and rules are the device core's
// (core/properties.h); the table says which core property a name stands for.
#pragma once

#include "control/core/properties.h"

#include <windows.h>
#include <ole2.h>

#include <span>

namespace members {

enum class Kind { Method, Property };
enum class Type { None, Long, Bool, String, LongRef, StringRef };

// Dispatch IDs, named for the switch in the control; the table below pairs each
// with its OPOS name, kind and types.
enum Id : DISPID {
  AutoDisable = 10,
  BinaryConversion = 11,
  CapPowerReporting = 12,
  CheckHealthText = 13,
  Claimed = 14,
  DataCount = 15,
  DataEventEnabled = 16,
  DeviceEnabled = 17,
  FreezeEvents = 18,
  PowerNotify = 20,
  PowerState = 21,
  ResultCode = 22,
  ResultCodeExtended = 23,
  State = 24,
  ControlObjectDescription = 25,
  ControlObjectVersion = 26,
  ServiceObjectDescription = 27,
  ServiceObjectVersion = 28,
  DeviceDescription = 29,
  DeviceName = 30,
  CheckHealth = 31,
  ClaimDevice = 32,
  ClearInput = 33,
  Close = 35,
  DirectIO = 36,
  Open = 37,
  ReleaseDevice = 38,
  CapStatisticsReporting = 39,
  CapUpdateStatistics = 40,
  ResetStatistics = 41,
  RetrieveStatistics = 42,
  UpdateStatistics = 43,
  CapCompareFirmwareVersion = 44,
  CapUpdateFirmware = 45,
  ClearInputProperties = 48,
  DecodeData = 50,
  ScanData = 51,
  ScanDataLabel = 52,
  ScanDataType = 53,
};

struct Member {
  DISPID id;
  const wchar_t *name;
  Kind kind;
  quillon::Prop prop; // properties: the core's property
  Type args[3];       // methods: arguments, in call order; the result is a Long
  unsigned argCount;
};

// A property's type as the automation sees it (Long, Bool or String); Long for a method's result.
Type TypeOf(const Member &m);

std::span<const Member> All();
const Member *Find(DISPID id);
const Member *FindByName(const wchar_t *name); // case-insensitive, as automation names are

// The event source interface.
struct Event {
  DISPID id;
  const wchar_t *name;
  Type args[4];
  unsigned argCount;
};
std::span<const Event> Events();

} // namespace members
