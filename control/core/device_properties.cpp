// The device core's properties: what each reads while open and closed, and the
// rules for writing the writable ones.
#include "control/core/device.h"

#include "control/core/opos.h"

namespace quillon::control {
namespace {

// ScanData and ScanDataLabel as BinaryConversion says: none (each byte one
// character), nibble (two characters 0x30 + nibble, high first) or decimal
// (three decimal digits).
std::wstring Converted(const std::string &bytes, long conversion) {
  std::wstring out;
  switch (conversion) {
  case opos::BC_NIBBLE:
    out.reserve(bytes.size() * 2);
    for (const unsigned char c : bytes) {
      out += static_cast<wchar_t>(0x30 + (c >> 4));
      out += static_cast<wchar_t>(0x30 + (c & 0x0F));
    }
    break;
  case opos::BC_DECIMAL:
    out.reserve(bytes.size() * 3);
    for (const unsigned char c : bytes) {
      out += static_cast<wchar_t>(L'0' + c / 100);
      out += static_cast<wchar_t>(L'0' + c / 10 % 10);
      out += static_cast<wchar_t>(L'0' + c % 10);
    }
    break;
  default:
    out.reserve(bytes.size());
    for (const unsigned char c : bytes)
      out += static_cast<wchar_t>(c);
  }
  return out;
}

} // namespace

Value Device::Get(Prop prop) {
  Settle();
  const PropertyRule &rule = RuleOf(prop);
  if (rule.needsOpen) SetResult(IsOpen() ? opos::SUCCESS : opos::E_CLOSED);
  if (rule.needsOpen && !IsOpen()) {
    // A closed device reads as its defaults.
    Value v{rule.type};
    if (prop == Prop::PowerState) v.number = opos::PS_UNKNOWN;
    return v;
  }
  Value v = Read(prop);
  v.type = rule.type;
  return v;
}

Value Device::Read(Prop prop) {
  Value v;
  switch (prop) {
  case Prop::BinaryConversion:
    v.number = m_binaryConversion;
    break;
  case Prop::CapCompareFirmwareVersion:
  case Prop::CapUpdateFirmware:
    v.flag = false;
    break;
  case Prop::CapPowerReporting:
    v.number = m_caps.powerReporting;
    break;
  case Prop::CapStatisticsReporting:
    v.flag = m_caps.statisticsReporting;
    break;
  case Prop::CapUpdateStatistics:
    v.flag = m_caps.updateStatistics;
    break;
  case Prop::CheckHealthText:
    v.text = m_checkHealthText;
    break;
  case Prop::Claimed:
    v.flag = IsClaimed();
    break;
  case Prop::ControlObjectDescription:
    v.text = kControlDescription;
    break;
  case Prop::ControlObjectVersion:
    v.number = kControlVersion;
    break;
  case Prop::DecodeData:
    v.flag = m_decodeData;
    break;
  case Prop::DeviceDescription:
    v.text = m_service->DeviceDescription();
    break;
  case Prop::DeviceEnabled:
    v.flag = IsEnabled();
    break;
  case Prop::DeviceName:
    v.text = m_service->PhysicalDeviceName();
    break;
  case Prop::ResultCode:
    v.number = m_resultCode;
    break;
  case Prop::ResultCodeExtended:
    v.number = m_resultCodeExtended;
    break;
  case Prop::ScanData:
    v.text = Converted(m_scanData, m_binaryConversion);
    break;
  case Prop::ScanDataLabel:
    v.text = Converted(m_scanDataLabel, m_binaryConversion);
    break;
  case Prop::ScanDataType:
    v.number = m_scanDataType;
    break;
  case Prop::ServiceObjectDescription:
    v.text = m_service->ServiceDescription();
    break;
  case Prop::ServiceObjectVersion:
    v.number = m_service->ServiceVersion();
    break;
  default: {
    std::lock_guard lock(m_lock);
    switch (prop) {
    case Prop::AutoDisable:
      v.flag = m_autoDisable;
      break;
    case Prop::DataCount:
      v.number = m_queue.DataCount();
      break;
    case Prop::DataEventEnabled:
      v.flag = m_dataEventEnabled;
      break;
    case Prop::FreezeEvents:
      v.flag = m_freezeEvents;
      break;
    case Prop::PowerNotify:
      v.number = m_powerNotify;
      break;
    case Prop::PowerState:
      v.number = m_caps.powerReporting && m_powerNotify && m_inputEnabled ? m_powerState : opos::PS_UNKNOWN;
      break;
    case Prop::State:
      v.number = m_state;
      break;
    default:
      break;
    }
  }
  }
  return v;
}

bool Device::Put(Prop prop, long value) {
  if (!RuleOf(prop).writable) return false;
  Settle();
  if (!IsOpen()) {
    SetResult(opos::E_CLOSED);
    return true;
  }
  const long rc = Write(prop, value);
  SetResult(rc);
  // Events that the change lets go are delivered after the call.
  if (rc == opos::SUCCESS && ((prop == Prop::DataEventEnabled && value) || (prop == Prop::FreezeEvents && !value)))
    RequestDelivery();
  return true;
}

long Device::Write(Prop prop, long value) {
  const bool flag = value != 0;
  switch (prop) {
  case Prop::DeviceEnabled:
    return SetDeviceEnabled(flag);
  case Prop::DecodeData:
    m_decodeData = flag;
    return opos::SUCCESS;
  case Prop::BinaryConversion:
    if (value < opos::BC_NONE || value > opos::BC_DECIMAL) return opos::E_ILLEGAL;
    m_binaryConversion = value;
    return opos::SUCCESS;
  default:
    break;
  }
  std::lock_guard lock(m_lock);
  switch (prop) {
  case Prop::AutoDisable:
    m_autoDisable = flag;
    break;
  case Prop::DataEventEnabled:
    m_dataEventEnabled = flag;
    break;
  case Prop::FreezeEvents:
    m_freezeEvents = flag;
    break;
  case Prop::PowerNotify:
    if (IsEnabled() || (value != opos::PN_DISABLED && value != opos::PN_ENABLED) ||
        (value == opos::PN_ENABLED && m_caps.powerReporting == opos::PR_NONE))
      return opos::E_ILLEGAL;
    m_powerNotify = value;
    break;
  default:
    return opos::E_ILLEGAL;
  }
  return opos::SUCCESS;
}

} // namespace quillon::control
