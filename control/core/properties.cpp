#include "control/core/properties.h"

#include <cstddef>
#include <iterator>

namespace quillon {
namespace {

constexpr ValueType L = ValueType::Long, B = ValueType::Bool, S = ValueType::String;
constexpr bool kWritable = true, kReadOnly = false, kNeedsOpen = true, kAlways = false;

constexpr PropertyRule kRules[] = {
    {Prop::AutoDisable, B, kWritable, kNeedsOpen},
    {Prop::BinaryConversion, L, kWritable, kNeedsOpen},
    {Prop::CapCompareFirmwareVersion, B, kReadOnly, kNeedsOpen},
    {Prop::CapPowerReporting, L, kReadOnly, kNeedsOpen},
    {Prop::CapStatisticsReporting, B, kReadOnly, kNeedsOpen},
    {Prop::CapUpdateFirmware, B, kReadOnly, kNeedsOpen},
    {Prop::CapUpdateStatistics, B, kReadOnly, kNeedsOpen},
    {Prop::CheckHealthText, S, kReadOnly, kNeedsOpen},
    {Prop::Claimed, B, kReadOnly, kNeedsOpen},
    {Prop::ControlObjectDescription, S, kReadOnly, kAlways},
    {Prop::ControlObjectVersion, L, kReadOnly, kAlways},
    {Prop::DataCount, L, kReadOnly, kNeedsOpen},
    {Prop::DataEventEnabled, B, kWritable, kNeedsOpen},
    {Prop::DecodeData, B, kWritable, kNeedsOpen},
    {Prop::DeviceDescription, S, kReadOnly, kNeedsOpen},
    {Prop::DeviceEnabled, B, kWritable, kNeedsOpen},
    {Prop::DeviceName, S, kReadOnly, kNeedsOpen},
    {Prop::FreezeEvents, B, kWritable, kNeedsOpen},
    {Prop::PowerNotify, L, kWritable, kNeedsOpen},
    {Prop::PowerState, L, kReadOnly, kNeedsOpen},
    {Prop::ResultCode, L, kReadOnly, kAlways},
    {Prop::ResultCodeExtended, L, kReadOnly, kAlways},
    {Prop::ScanData, S, kReadOnly, kNeedsOpen},
    {Prop::ScanDataLabel, S, kReadOnly, kNeedsOpen},
    {Prop::ScanDataType, L, kReadOnly, kNeedsOpen},
    {Prop::ServiceObjectDescription, S, kReadOnly, kNeedsOpen},
    {Prop::ServiceObjectVersion, L, kReadOnly, kNeedsOpen},
    {Prop::State, L, kReadOnly, kAlways},
};

// The table is in the order of the enumeration, so that a look-up is an index.
constexpr bool InOrder() {
  for (std::size_t i = 0; i < std::size(kRules); ++i)
    if (static_cast<std::size_t>(kRules[i].prop) != i) return false;
  return std::size(kRules) == static_cast<std::size_t>(Prop::State) + 1;
}
static_assert(InOrder(), "one rule per property, in the order of Prop");

} // namespace

const PropertyRule &RuleOf(Prop prop) { return kRules[static_cast<std::size_t>(prop)]; }

} // namespace quillon
