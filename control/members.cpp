#include "control/members.h"

namespace members {
namespace {

constexpr Type L = Type::Long, B = Type::Bool, S = Type::String, LR = Type::LongRef, SR = Type::StringRef,
               N = Type::None;

#define PROP(name, type, writable, needsOpen)                                                                          \
  { name, L"" #name, Kind::Property, type, writable, needsOpen, {}, 0 }
#define METHOD(name, argc, ...)                                                                                        \
  { name, L"" #name, Kind::Method, L, false, false, {__VA_ARGS__}, argc }

constexpr Member kMembers[] = {
    PROP(AutoDisable, B, true, true),
    PROP(BinaryConversion, L, true, true),
    PROP(CapPowerReporting, L, false, true),
    PROP(CheckHealthText, S, false, true),
    PROP(Claimed, B, false, true),
    PROP(DataCount, L, false, true),
    PROP(DataEventEnabled, B, true, true),
    PROP(DeviceEnabled, B, true, true),
    PROP(FreezeEvents, B, true, true),
    PROP(PowerNotify, L, true, true),
    PROP(PowerState, L, false, true),
    PROP(ResultCode, L, false, false),
    PROP(ResultCodeExtended, L, false, false),
    PROP(State, L, false, false),
    PROP(ControlObjectDescription, S, false, false),
    PROP(ControlObjectVersion, L, false, false),
    PROP(ServiceObjectDescription, S, false, true),
    PROP(ServiceObjectVersion, L, false, true),
    PROP(DeviceDescription, S, false, true),
    PROP(DeviceName, S, false, true),
    METHOD(CheckHealth, 1, L),
    METHOD(ClaimDevice, 1, L),
    METHOD(ClearInput, 0, N),
    METHOD(Close, 0, N),
    METHOD(DirectIO, 3, L, LR, SR),
    METHOD(Open, 1, S),
    METHOD(ReleaseDevice, 0, N),
    PROP(CapStatisticsReporting, B, false, true),
    PROP(CapUpdateStatistics, B, false, true),
    METHOD(ResetStatistics, 1, S),
    METHOD(RetrieveStatistics, 1, SR),
    METHOD(UpdateStatistics, 1, S),
    PROP(CapCompareFirmwareVersion, B, false, true),
    PROP(CapUpdateFirmware, B, false, true),
    METHOD(ClearInputProperties, 0, N),
    PROP(DecodeData, B, true, true),
    PROP(ScanData, S, false, true),
    PROP(ScanDataLabel, S, false, true),
    PROP(ScanDataType, L, false, true),
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
