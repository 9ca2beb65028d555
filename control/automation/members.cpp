#include "control/automation/members.h"

namespace members {
namespace {

constexpr Type L = Type::Long, S = Type::String, LR = Type::LongRef, SR = Type::StringRef, N = Type::None;

#define PROP(name)                                                                                                     \
  { name, L"" #name, Kind::Property, quillon::Prop::name, {}, 0 }
#define METHOD(name, argc, ...)                                                                                        \
  { name, L"" #name, Kind::Method, quillon::Prop{}, {__VA_ARGS__}, argc }

constexpr Member kMembers[] = {
    PROP(AutoDisable),
    PROP(BinaryConversion),
    PROP(CapPowerReporting),
    PROP(CheckHealthText),
    PROP(Claimed),
    PROP(DataCount),
    PROP(DataEventEnabled),
    PROP(DeviceEnabled),
    PROP(FreezeEvents),
    PROP(PowerNotify),
    PROP(PowerState),
    PROP(ResultCode),
    PROP(ResultCodeExtended),
    PROP(State),
    PROP(ControlObjectDescription),
    PROP(ControlObjectVersion),
    PROP(ServiceObjectDescription),
    PROP(ServiceObjectVersion),
    PROP(DeviceDescription),
    PROP(DeviceName),
    METHOD(CheckHealth, 1, L),
    METHOD(ClaimDevice, 1, L),
    METHOD(ClearInput, 0, N),
    METHOD(Close, 0, N),
    METHOD(DirectIO, 3, L, LR, SR),
    METHOD(Open, 1, S),
    METHOD(ReleaseDevice, 0, N),
    PROP(CapStatisticsReporting),
    PROP(CapUpdateStatistics),
    METHOD(ResetStatistics, 1, S),
    METHOD(RetrieveStatistics, 1, SR),
    METHOD(UpdateStatistics, 1, S),
    PROP(CapCompareFirmwareVersion),
    PROP(CapUpdateFirmware),
    METHOD(ClearInputProperties, 0, N),
    PROP(DecodeData),
    PROP(ScanData),
    PROP(ScanDataLabel),
    PROP(ScanDataType),
};

#undef PROP
#undef METHOD

constexpr Event kEvents[] = {
    {1, L"DataEvent", {L}, 1},
    {2, L"DirectIOEvent", {L, LR, SR}, 3},
    {3, L"ErrorEvent", {L, L, L, LR}, 4},
    // The scanner has no asynchronous output and never raises it.
    {4, L"OutputCompleteEvent", {L}, 1},
    {5, L"StatusUpdateEvent", {L}, 1},
};

} // namespace

std::span<const Member> All() { return kMembers; }

Type TypeOf(const Member &m) {
  if (m.kind == Kind::Method) return Type::Long;
  switch (quillon::RuleOf(m.prop).type) {
  case quillon::ValueType::Bool:
    return Type::Bool;
  case quillon::ValueType::String:
    return Type::String;
  default:
    return Type::Long;
  }
}

const Member *Find(DISPID id) {
  for (const Member &m : kMembers)
    if (m.id == id) return &m;
  return nullptr;
}

const Member *FindByName(const wchar_t *name) {
  if (!name) return nullptr;
  for (const Member &m : kMembers)
    if (CompareStringOrdinal(m.name, -1, name, -1, TRUE) == CSTR_EQUAL) return &m;
  return nullptr;
}

std::span<const Event> Events() { return kEvents; }

} // namespace members
