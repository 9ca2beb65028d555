// The control's properties as the device core knows them: each one's type,
// whether the application may write it, and whether reading it needs the
// device open (such a read answers E_CLOSED while closed and sets
// ResultCode). Names and dispatch IDs belong to the automation layer.
#pragma once

#include <string>

namespace quillon {

enum class Prop {
  AutoDisable,
  BinaryConversion,
  CapCompareFirmwareVersion,
  CapPowerReporting,
  CapStatisticsReporting,
  CapUpdateFirmware,
  CapUpdateStatistics,
  CheckHealthText,
  Claimed,
  ControlObjectDescription,
  ControlObjectVersion,
  DataCount,
  DataEventEnabled,
  DecodeData,
  DeviceDescription,
  DeviceEnabled,
  DeviceName,
  FreezeEvents,
  PowerNotify,
  PowerState,
  ResultCode,
  ResultCodeExtended,
  ScanData,
  ScanDataLabel,
  ScanDataType,
  ServiceObjectDescription,
  ServiceObjectVersion,
  State,
};

enum class ValueType { Long, Bool, String };

struct PropertyRule {
  Prop prop;
  ValueType type;
  bool writable;
  bool needsOpen;
};

// The rule of a property; every Prop has one.
const PropertyRule &RuleOf(Prop prop);

// A property's value, of the property's type.
struct Value {
  ValueType type = ValueType::Long;
  long number = 0;
  bool flag = false;
  std::wstring text;
};

} // namespace quillon
