// The catalogue: every rule a check runs, each one a function over a fresh
// control instance, and the one table that names them.
#include "check/rules.h"

#include "check/statistics_xml.h"

#include <algorithm>
#include <chrono>
#include <cwctype>

namespace {

enum : long {
  kSuccess = 0,
  kClosed = 101,
  kClaimed = 102,
  kNotClaimed = 103,
  kDisabled = 105,
  kIllegal = 106,
  kNoExist = 109,
  kTimeout = 112,
  kExtended = 114,
  kStatisticsError = 280,
};
enum : long { kStateClosed = 1, kStateIdle = 2 };
enum : long { kPowerUnknown = 2000, kPowerOnline = 2001 };

const wchar_t kNoSuchDevice[] = L"QuillonCheck.NoSuchDevice";
const wchar_t kNoSuchStatistic[] = L"QuillonCheckNoSuchStatistic";

std::wstring Lower(std::wstring s) {
  for (wchar_t &c : s)
    c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// ---- life cycle ------------------------------------------------------------------

void ClosedAnswers101(RuleContext &c) {
  auto &s = c.s;
  std::wstring reply;
  c.ExpectCode(L"ClaimDevice(0) while closed", kClosed, s.ClaimDevice(0));
  c.ExpectCode(L"ReleaseDevice while closed", kClosed, s.ReleaseDevice());
  c.ExpectCode(L"ClearInput while closed", kClosed, s.ClearInput());
  c.ExpectCode(L"ClearInputProperties while closed", kClosed, s.ClearInputProperties());
  c.ExpectCode(L"CheckHealth(1) while closed", kClosed, s.CheckHealth(1));
  c.ExpectCode(L"RetrieveStatistics while closed", kClosed, s.RetrieveStatistics(L"", reply));
  c.ExpectCode(L"Close while closed", kClosed, s.Close());
  const struct {
    const wchar_t *name;
    void (CheckSession::*set)(long);
  } kWrites[] = {
      {L"DeviceEnabled", &CheckSession::SetDeviceEnabled}, {L"DataEventEnabled", &CheckSession::SetDataEventEnabled},
      {L"FreezeEvents", &CheckSession::SetFreezeEvents},   {L"AutoDisable", &CheckSession::SetAutoDisable},
      {L"DecodeData", &CheckSession::SetDecodeData},       {L"PowerNotify", &CheckSession::SetPowerNotify}};
  for (const auto &w : kWrites) {
    (s.*w.set)(1);
    c.ExpectResultCode(std::wstring(w.name) + L" = 1 while closed", kClosed);
  }
  const struct {
    const wchar_t *name;
    long (CheckSession::*get)();
  } kReads[] = {{L"DataCount", &CheckSession::GetDataCount},
                {L"DeviceEnabled", &CheckSession::GetDeviceEnabled},
                {L"DataEventEnabled", &CheckSession::GetDataEventEnabled},
                {L"ScanDataType", &CheckSession::GetScanDataType}};
  for (const auto &r : kReads) {
    (s.*r.get)();
    c.ExpectResultCode(std::wstring(L"reading ") + r.name + L" while closed", kClosed);
  }
}

void StateValues(RuleContext &c) {
  c.ExpectValue(L"State while closed", kStateClosed, c.s.GetState());
  c.Open();
  c.ExpectValue(L"State once open", kStateIdle, c.s.GetState());
  c.Claim();
  c.ExpectValue(L"State once claimed", kStateIdle, c.s.GetState());
  c.Enable();
  c.ExpectValue(L"State once enabled", kStateIdle, c.s.GetState());
  c.ExpectCode(L"Close", kSuccess, c.s.Close());
  c.ExpectValue(L"State after Close", kStateClosed, c.s.GetState());
}

void OpenTwice106(RuleContext &c) {
  c.Open();
  c.ExpectCode(L"Open while open", kIllegal, c.s.Open(c.o.device));
  c.Claim();
  c.ExpectCode(L"Open while claimed", kIllegal, c.s.Open(c.o.device));
  c.Enable();
  c.ExpectCode(L"Open while enabled", kIllegal, c.s.Open(c.o.device));
  c.ExpectValue(L"Claimed after the refused Open", 1, c.s.GetClaimed());
}

void UnknownDevice109(RuleContext &c) {
  c.ExpectCode(std::wstring(L"Open(\"") + kNoSuchDevice + L"\")", kNoExist, c.s.Open(kNoSuchDevice));
  c.ExpectValue(L"State after the refused Open", kStateClosed, c.s.GetState());
  c.Open();
}

void CloseReleasesEverything(RuleContext &c) {
  c.OpenClaimEnable();
  c.ExpectCode(L"Close", kSuccess, c.s.Close());
  c.ExpectCode(L"ClaimDevice(0) in another process right after Close", kSuccess, c.Hold(0));
  c.ReleaseHold();
  c.Open();
  c.ExpectValue(L"Claimed once open again", 0, c.s.GetClaimed());
  c.ExpectValue(L"DeviceEnabled once open again", 0, c.s.GetDeviceEnabled());
}

// ---- claim ---------------------------------------------------------------------------

void ReleaseUnclaimed106(RuleContext &c) {
  c.Open();
  c.ExpectCode(L"ReleaseDevice while not claimed", kIllegal, c.s.ReleaseDevice());
}

void TimeoutBelowMinusOne106(RuleContext &c) {
  c.Open();
  c.ExpectCode(L"ClaimDevice(-2)", kIllegal, c.s.ClaimDevice(-2));
  c.ExpectValue(L"Claimed after ClaimDevice(-2)", 0, c.s.GetClaimed());
}

void ClaimAgainFromHolder(RuleContext &c) {
  c.Open();
  c.Claim();
  c.ExpectCode(L"ClaimDevice(0) again from the holder", kSuccess, c.s.ClaimDevice(0));
  c.ExpectValue(L"Claimed after claiming again", 1, c.s.GetClaimed());
}

void ClaimExclusiveAcrossProcesses(RuleContext &c) {
  c.Open();
  const long held = c.Hold(0);
  if (held != kSuccess) c.Fail(L"the second process could not claim the free device: it saw " + ResultName(held));
  c.ExpectCode(L"ClaimDevice(0) while another process holds the claim", kTimeout, c.s.ClaimDevice(0));
  c.s.SetDeviceEnabled(1);
  c.ExpectResultCode(L"DeviceEnabled = true while another process holds the claim", kClaimed);
  c.ReleaseHold();
  c.ExpectCode(L"ClaimDevice(2000) once the other process has let go", kSuccess, c.s.ClaimDevice(2000));
}

void ClaimTimeoutHonoured(RuleContext &c) {
  c.Open();
  const long held = c.Hold(0);
  if (held != kSuccess) c.Fail(L"the second process could not claim the free device: it saw " + ResultName(held));
  const long wait = static_cast<long>(c.t.claimWaitMs);
  const std::wstring call = L"ClaimDevice(" + std::to_wstring(wait) + L")";
  // The performance counter, not the tick count: under load the tick count
  // can lag behind and make a full wait look short.
  const auto start = std::chrono::steady_clock::now();
  const long r = c.s.ClaimDevice(wait);
  const auto took = static_cast<ULONGLONG>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  if (r == kSuccess)
    c.Skip(call + L" got the claim another process held, which claim.exclusive-across-processes reports");
  c.ExpectCode(call + L" while another process holds the claim", kTimeout, r);
  c.Expect(took * 4 >= static_cast<ULONGLONG>(wait) * 3,
           call + L" answered after " + std::to_wstring(took) + L" ms: it did not wait for its time-out");
  c.Expect(took <= static_cast<ULONGLONG>(wait) + 5000,
           call + L" answered after " + std::to_wstring(took) + L" ms, long after its time-out");
}

void EnableNeedsClaim103(RuleContext &c) {
  c.Open();
  c.s.SetDeviceEnabled(1);
  c.ExpectResultCode(L"DeviceEnabled = true while not claimed", kNotClaimed);
  c.ExpectValue(L"DeviceEnabled after the refused write", 0, c.s.GetDeviceEnabled());
  c.ExpectCode(L"ClearInput while not claimed", kNotClaimed, c.s.ClearInput());
}

// ---- enable ------------------------------------------------------------------------------

void EnableReadsBack(RuleContext &c) {
  c.Open();
  c.Claim();
  c.Enable();
  c.ExpectValue(L"DeviceEnabled after setting it true", 1, c.s.GetDeviceEnabled());
  c.s.SetDeviceEnabled(0);
  c.ExpectResultCode(L"DeviceEnabled = false", kSuccess);
  c.ExpectValue(L"DeviceEnabled after setting it false", 0, c.s.GetDeviceEnabled());
}

void ReleaseDisables(RuleContext &c) {
  c.OpenClaimEnable();
  c.ExpectCode(L"ReleaseDevice", kSuccess, c.s.ReleaseDevice());
  c.ExpectValue(L"Claimed after ReleaseDevice", 0, c.s.GetClaimed());
  c.ExpectValue(L"DeviceEnabled after ReleaseDevice", 0, c.s.GetDeviceEnabled());
}

void MethodsNeedEnable105(RuleContext &c) {
  c.Open();
  c.Claim();
  c.ExpectCode(L"CheckHealth(1) while claimed but disabled", kDisabled, c.s.CheckHealth(1));
}

// ---- power -----------------------------------------------------------------------------------

void PowerCapabilityValue(RuleContext &c) {
  c.Open();
  const long cap = c.s.GetCapPowerReporting();
  c.Expect(cap >= 0 && cap <= 2,
           L"CapPowerReporting is " + std::to_wstring(cap) + L": expected none (0), standard (1) or advanced (2)");
  c.ExpectValue(L"PowerNotify once open", 0, c.s.GetPowerNotify());
}

void NotifyWhileEnabled106(RuleContext &c) {
  c.Open();
  if (c.s.GetCapPowerReporting() == 0) c.Skip(L"CapPowerReporting is none: PowerNotify cannot be enabled at all");
  c.Claim();
  c.Enable();
  c.s.SetPowerNotify(1);
  c.ExpectResultCode(L"PowerNotify = 1 while enabled", kIllegal);
}

void NotifyNeedsCapability(RuleContext &c) {
  c.Open();
  c.Claim();
  const long cap = c.s.GetCapPowerReporting();
  c.s.SetPowerNotify(7);
  c.ExpectResultCode(L"PowerNotify = 7", kIllegal);
  c.s.SetPowerNotify(1);
  if (cap == 0) {
    c.ExpectResultCode(L"PowerNotify = 1 with CapPowerReporting none", kIllegal);
    return;
  }
  c.ExpectResultCode(L"PowerNotify = 1 while disabled", kSuccess);
  c.ExpectValue(L"PowerNotify after setting it 1", 1, c.s.GetPowerNotify());
}

void PowerStateReporting(RuleContext &c) {
  c.Open();
  c.Claim();
  if (c.s.GetCapPowerReporting() == 0) {
    c.Enable();
    c.ExpectValue(L"PowerState with CapPowerReporting none", kPowerUnknown, c.s.GetPowerState());
    return;
  }
  c.ExpectValue(L"PowerState while notification is off", kPowerUnknown, c.s.GetPowerState());
  c.s.SetPowerNotify(1);
  c.ExpectResultCode(L"PowerNotify = 1 while disabled", kSuccess);
  c.ExpectValue(L"PowerState while disabled", kPowerUnknown, c.s.GetPowerState());
  c.Enable();
  long state = 0;
  c.s.PumpUntil([&] { return (state = c.s.GetPowerState()) == kPowerOnline; }, c.t.eventMs);
  c.ExpectValue(L"PowerState once enabled with notification on", kPowerOnline, state);
}

// ---- delivery ------------------------------------------------------------------------------------

// Enabled, with events held back: DataEventEnabled false.
void EnabledAndHeld(RuleContext &c) {
  c.OpenClaimEnable();
  c.s.SetDataEventEnabled(0);
  c.ExpectResultCode(L"DataEventEnabled = false", kSuccess);
}

void ReleaseEvents(RuleContext &c) {
  c.s.SetDataEventEnabled(1);
  c.ExpectResultCode(L"DataEventEnabled = true", kSuccess);
}

void DataEventEnabledGates(RuleContext &c) {
  EnabledAndHeld(c);
  c.Scan();
  // Freezing and thawing events must not let the label through either.
  c.s.SetFreezeEvents(1);
  c.s.SetFreezeEvents(0);
  c.s.Pump(c.t.quietMs);
  c.Expect(c.s.DataEvents() == 0, L"a DataEvent arrived while DataEventEnabled was false");
  c.ExpectValue(L"DataCount with one label held", 1, c.s.GetDataCount());
  ReleaseEvents(c);
  c.Expect(c.WaitForDataEvents(1), L"no DataEvent came once DataEventEnabled was set true");
  for (const RecordedEvent &e : c.s.Events())
    if (e.dispid == 1) c.ExpectValue(L"the DataEvent's status", 0, e.arg);
}

void FrozenHoldsData(RuleContext &c) {
  EnabledAndHeld(c);
  c.s.SetFreezeEvents(1);
  c.ExpectResultCode(L"FreezeEvents = true", kSuccess);
  c.Scan();
  ReleaseEvents(c);
  c.s.Pump(c.t.quietMs);
  c.Expect(c.s.DataEvents() == 0, L"a DataEvent arrived while FreezeEvents was true");
  c.s.SetFreezeEvents(0);
  c.ExpectResultCode(L"FreezeEvents = false", kSuccess);
  c.Expect(c.WaitForDataEvents(1), L"no DataEvent came once FreezeEvents was set false");
}

void DataCountDrops(RuleContext &c) {
  EnabledAndHeld(c);
  c.Scan();
  c.Scan();
  c.ExpectValue(L"DataCount with two labels held", 2, c.s.GetDataCount());
  ReleaseEvents(c);
  c.Expect(c.WaitForDataEvents(1), L"no DataEvent came once DataEventEnabled was set true");
  const long delivered = static_cast<long>(c.s.DataEvents());
  c.ExpectValue(L"DataCount after " + std::to_wstring(delivered) + L" DataEvent(s) of two", 2 - delivered,
                c.s.GetDataCount());
  if (delivered < 2) {
    ReleaseEvents(c);
    c.Expect(c.WaitForDataEvents(2), L"no second DataEvent came once DataEventEnabled was set true again");
  }
  c.ExpectValue(L"DataCount after both DataEvents", 0, c.s.GetDataCount());
}

void DataEventEnabledResets(RuleContext &c) {
  EnabledAndHeld(c);
  c.Scan();
  c.Scan();
  ReleaseEvents(c);
  c.Expect(c.WaitForDataEvents(1), L"no DataEvent came once DataEventEnabled was set true");
  c.s.Pump(c.t.quietMs);
  c.ExpectValue(L"DataEventEnabled after a DataEvent", 0, c.s.GetDataEventEnabled());
  c.Expect(c.s.DataEvents() == 1, L"a second DataEvent followed without DataEventEnabled being set true again");
}

void AutoDisable(RuleContext &c) {
  EnabledAndHeld(c);
  c.s.SetAutoDisable(1);
  c.ExpectResultCode(L"AutoDisable = true", kSuccess);
  c.ExpectValue(L"AutoDisable after setting it true", 1, c.s.GetAutoDisable());
  c.Scan();
  long enabled = 1;
  c.s.PumpUntil([&] { return (enabled = c.s.GetDeviceEnabled()) == 0; }, c.t.eventMs);
  c.ExpectValue(L"DeviceEnabled after a label with AutoDisable true", 0, enabled);
}

void ClearInputEmptiesQueue(RuleContext &c) {
  EnabledAndHeld(c);
  c.Scan();
  c.Scan();
  c.ExpectCode(L"ClearInput", kSuccess, c.s.ClearInput());
  c.ExpectValue(L"DataCount after ClearInput", 0, c.s.GetDataCount());
  ReleaseEvents(c);
  c.s.Pump(c.t.quietMs);
  c.Expect(c.s.DataEvents() == 0, L"a DataEvent arrived after ClearInput");
}

void ClearInputProperties(RuleContext &c) {
  EnabledAndHeld(c);
  c.s.SetDecodeData(1);
  c.Scan();
  ReleaseEvents(c);
  c.Expect(c.WaitForDataEvents(1), L"no DataEvent came once DataEventEnabled was set true");
  const long count = c.s.GetDataCount();
  c.ExpectCode(L"ClearInputProperties", kSuccess, c.s.ClearInputProperties());
  c.ExpectText(L"ScanData after ClearInputProperties", L"", c.s.GetScanData());
  c.ExpectText(L"ScanDataLabel after ClearInputProperties", L"", c.s.GetScanDataLabel());
  c.ExpectValue(L"ScanDataType after ClearInputProperties", 0, c.s.GetScanDataType());
  c.ExpectValue(L"DataCount after ClearInputProperties", count, c.s.GetDataCount());
  c.ExpectValue(L"DecodeData after ClearInputProperties", 1, c.s.GetDecodeData());
}

void EventsOnApplicationThread(RuleContext &c) {
  EnabledAndHeld(c);
  c.Scan();
  ReleaseEvents(c);
  c.Expect(c.WaitForDataEvents(1), L"no DataEvent came once DataEventEnabled was set true");
  c.s.Pump(c.t.quietMs);
  if (!c.s.Misdelivered().empty()) c.Fail(c.s.Misdelivered().front());
}

// ---- decoded data -------------------------------------------------------------------------------

struct DeliveredLabel {
  std::wstring data, label;
  long type;
};

DeliveredLabel ReadOneLabel(RuleContext &c, long decode) {
  EnabledAndHeld(c);
  c.s.SetDecodeData(decode);
  c.ExpectResultCode(decode ? L"DecodeData = true" : L"DecodeData = false", kSuccess);
  c.ExpectValue(L"DecodeData after setting it", decode, c.s.GetDecodeData());
  c.Scan();
  ReleaseEvents(c);
  c.Expect(c.WaitForDataEvents(1), L"no DataEvent came once DataEventEnabled was set true");
  DeliveredLabel d{c.s.GetScanData(), c.s.GetScanDataLabel(), c.s.GetScanDataType()};
  c.Expect(!d.data.empty(), L"ScanData is empty after a DataEvent");
  return d;
}

// The ScanDataType values a symbology identifier allows (ISO/IEC 15424 "]cm").
struct IdentifierTypes {
  const wchar_t *prefix; // the longest prefix wins
  const wchar_t *symbology;
  long types[3];
};
const IdentifierTypes kIdentifiers[] = {
    {L"]A", L"Code 39", {108}},
    {L"]C0", L"Code 128", {110}},
    {L"]C1", L"GS1-128", {120}},
    {L"]C4", L"ISBT-128", {141}},
    {L"]E0", L"EAN/UPC", {104, 101, 102}},
    {L"]E3", L"EAN/UPC with add-on", {119, 111, 112}},
    {L"]E4", L"EAN-8", {103, 118}},
    {L"]I", L"ITF", {106}},
    {L"]F", L"Codabar", {107}},
    {L"]G", L"Code 93", {109}},
    {L"]S", L"2 of 5", {105}},
    {L"]e0", L"GS1 DataBar", {131, 132}},
    {L"]L", L"PDF417", {201, 207}},
    {L"]Q3", L"GS1 QR Code", {209}},
    {L"]Q", L"QR Code", {204}},
    {L"]d1", L"Data Matrix", {203}},
    {L"]d2", L"GS1 Data Matrix", {208}},
    {L"]z", L"Aztec", {206}},
    {L"]U", L"MaxiCode", {202}},
    {L"]h0", L"Han Xin", {215}},
};

const IdentifierTypes *IdentifierOf(const std::wstring &data) {
  const IdentifierTypes *best = nullptr;
  for (const IdentifierTypes &i : kIdentifiers)
    if (data.rfind(i.prefix, 0) == 0 && (!best || std::wcslen(i.prefix) > std::wcslen(best->prefix))) best = &i;
  return best;
}

void DecodeOff(RuleContext &c) {
  const DeliveredLabel d = ReadOneLabel(c, 0);
  c.ExpectText(L"ScanDataLabel with DecodeData false", L"", d.label);
  c.ExpectValue(L"ScanDataType with DecodeData false", 0, d.type);
}

void DecodeOn(RuleContext &c) {
  const DeliveredLabel d = ReadOneLabel(c, 1);
  c.Expect(!d.label.empty(), L"ScanDataLabel is empty with DecodeData true");
  c.Expect(d.type != 0, L"ScanDataType is 0 (unknown) with DecodeData true");
  const IdentifierTypes *id = IdentifierOf(d.data);
  if (!id) return;
  const std::wstring code = d.data.substr(0, 3);
  c.Expect(std::find(std::begin(id->types), std::end(id->types), d.type) != std::end(id->types),
           L"ScanData begins with " + code + L" (" + id->symbology + L"), but ScanDataType is " +
               std::to_wstring(d.type));
  c.Expect(d.label.rfind(L"]", 0) != 0, L"ScanDataLabel keeps the symbology identifier " + code);
}

// ---- health ----------------------------------------------------------------------------------------

void HealthLevel(RuleContext &c, long level, const wchar_t *name, bool &checked) {
  const long r = c.s.CheckHealth(level);
  if (r == kIllegal) return;
  c.ExpectCode(L"CheckHealth(" + std::to_wstring(level) + L")", kSuccess, r);
  const std::wstring text = c.s.GetCheckHealthText();
  c.Expect(Lower(text).find(Lower(name)) != std::wstring::npos,
           L"CheckHealthText after CheckHealth(" + std::to_wstring(level) + L") is \"" + text +
               L"\": it does not name the " + Lower(name) + L" level");
  checked = true;
}

void HealthInternalExternal(RuleContext &c) {
  c.OpenClaimEnable();
  bool checked = false;
  HealthLevel(c, 1, L"Internal", checked);
  HealthLevel(c, 2, L"External", checked);
  if (!checked) c.Skip(L"the device supports neither the internal nor the external health check (106)");
}

void HealthUnknownLevel106(RuleContext &c) {
  c.OpenClaimEnable();
  c.ExpectCode(L"CheckHealth(99)", kIllegal, c.s.CheckHealth(99));
}

void HealthInteractive(RuleContext &c) {
  if (!c.o.interactive) c.Skip(L"needs --interactive: the interactive check waits for a person");
  c.OpenClaimEnable();
  bool checked = false;
  HealthLevel(c, 3, L"Interactive", checked);
  if (!checked) c.Skip(L"the device does not support the interactive health check (106)");
}

// ---- statistics ---------------------------------------------------------------------------------------

void ExpectStatisticsRefused(RuleContext &c, const std::wstring &what, long r) {
  if (r == kExtended) {
    c.ExpectValue(what + L" answered OPOS_E_EXTENDED: ResultCodeExtended", kStatisticsError,
                  c.s.GetResultCodeExtended());
    return;
  }
  if (r != kIllegal) c.Fail(what + L": expected OPOS_E_ILLEGAL (or OPOS_E_EXTENDED with 280), saw " + ResultName(r));
}

void StatisticsCapabilityGating(RuleContext &c) {
  c.OpenClaimEnable();
  const long canRetrieve = c.s.GetCapStatisticsReporting();
  const long canUpdate = c.s.GetCapUpdateStatistics();
  bool checked = false;
  if (!canRetrieve) {
    std::wstring reply;
    ExpectStatisticsRefused(c, L"RetrieveStatistics without CapStatisticsReporting",
                            c.s.RetrieveStatistics(L"", reply));
    checked = true;
  }
  if (!canUpdate && c.o.allowWrites) {
    ExpectStatisticsRefused(c, L"UpdateStatistics without CapUpdateStatistics",
                            c.s.UpdateStatistics(L"GoodScanCount=1"));
    ExpectStatisticsRefused(c, L"ResetStatistics without CapUpdateStatistics", c.s.ResetStatistics(L"GoodScanCount"));
    checked = true;
  }
  if (checked) return;
  if (!canUpdate) c.Skip(L"needs --allow-writes: UpdateStatistics and ResetStatistics change the device's counters");
  c.Skip(L"the device reports CapStatisticsReporting and CapUpdateStatistics: no statistics method is ruled out");
}

std::vector<StatisticEntry> Retrieve(RuleContext &c, const std::wstring &names) {
  std::wstring reply, error;
  c.ExpectCode(L"RetrieveStatistics(\"" + names + L"\")", kSuccess, c.s.RetrieveStatistics(names, reply));
  std::vector<StatisticEntry> entries;
  if (!ParseStatisticsReply(reply, entries, error))
    c.Fail(L"the reply of RetrieveStatistics(\"" + names + L"\") is not statistics XML: " + error);
  return entries;
}

void NeedStatistics(RuleContext &c) {
  c.OpenClaimEnable();
  if (!c.s.GetCapStatisticsReporting()) c.Skip(L"CapStatisticsReporting is false");
}

void StatisticsParse(RuleContext &c) {
  NeedStatistics(c);
  c.Expect(!Retrieve(c, L"").empty(), L"RetrieveStatistics(\"\") returned no statistics at all");
}

void StatisticsUnknownName(RuleContext &c) {
  NeedStatistics(c);
  for (const StatisticEntry &e : Retrieve(c, kNoSuchStatistic))
    if (e.name == kNoSuchStatistic) {
      c.ExpectText(std::wstring(L"the value of the unknown statistic ") + kNoSuchStatistic, L"", e.value);
      return;
    }
  c.Fail(std::wstring(L"the reply has no entry named ") + kNoSuchStatistic);
}

std::wstring StatisticValue(RuleContext &c, const std::wstring &name) {
  for (const StatisticEntry &e : Retrieve(c, name))
    if (e.name == name) return e.value;
  c.Fail(L"the reply has no entry named " + name);
}

void StatisticsUpdateAndReset(RuleContext &c) {
  if (!c.o.allowWrites) c.Skip(L"needs --allow-writes: it changes the device's counters");
  NeedStatistics(c);
  if (!c.s.GetCapUpdateStatistics()) c.Skip(L"CapUpdateStatistics is false");
  c.ExpectCode(L"UpdateStatistics(\"GoodScanCount=7\")", kSuccess, c.s.UpdateStatistics(L"GoodScanCount=7"));
  c.ExpectText(L"GoodScanCount after UpdateStatistics", L"7", StatisticValue(c, L"GoodScanCount"));
  c.ExpectCode(L"ResetStatistics(\"GoodScanCount\")", kSuccess, c.s.ResetStatistics(L"GoodScanCount"));
  c.ExpectText(L"GoodScanCount after ResetStatistics", L"0", StatisticValue(c, L"GoodScanCount"));
}

// ---- result codes and properties -----------------------------------------------------------------------

void ResultCodeAfterEveryCall(RuleContext &c) {
  c.Open();
  const long released = c.s.ReleaseDevice();
  c.ExpectResultCode(L"after ReleaseDevice answered " + ResultName(released), released);
  c.s.SetDeviceEnabled(1);
  c.ExpectResultCode(L"after the refused DeviceEnabled = true", kNotClaimed);
  c.s.GetDataCount();
  c.ExpectResultCode(L"after reading DataCount", kSuccess);
  c.ExpectCode(L"ClaimDevice(2000)", kSuccess, c.s.ClaimDevice(2000));
  c.ExpectResultCode(L"after ClaimDevice", kSuccess);
}

void PropertiesReadable(RuleContext &c) {
  auto readAll = [&](const wchar_t *state) {
    c.s.ForEachPropertyRead([&](const wchar_t *name, const std::function<void()> &read) {
      try {
        read();
      } catch (const CDispatchException &e) {
        c.Fail(std::wstring(L"reading ") + name + L" while " + state + L" failed: " +
               static_cast<const wchar_t *>(e.m_strDescription));
      }
      c.ExpectResultCode(std::wstring(L"after reading ") + name + L" while " + state, kSuccess);
    });
  };
  c.Open();
  readAll(L"open");
  c.Claim();
  readAll(L"claimed");
  c.Enable();
  readAll(L"enabled");
}

// clang-format off
const Rule kRules[] = {
    {L"lifecycle.closed-answers-101",
     L"While closed, every method and property write answers OPOS_E_CLOSED (101), and so do reads of properties that need an open device.",
     L"Life cycle: every method and every property that needs an open device answers 101 while closed; Close while closed answers 101.",
     0, ClosedAnswers101},
    {L"lifecycle.state-values",
     L"State reads closed (1) before Open and after Close, and idle (2) while open, claimed and enabled.",
     L"Constants: State 1 closed, 2 idle.", 0, StateValues},
    {L"lifecycle.open-twice-106",
     L"Open while already open, claimed or enabled answers OPOS_E_ILLEGAL (106) and changes nothing.",
     L"Life cycle: Open while open answers 106.", 0, OpenTwice106},
    {L"lifecycle.unknown-device-109",
     L"Open of a device name without a registry entry answers OPOS_E_NOEXIST (109) and leaves the control closed, ready to open a real name.",
     L"Life cycle: Open of a device name with no registry entry answers 109.", 0, UnknownDevice109},
    {L"lifecycle.close-releases-everything",
     L"Close from the enabled state releases everything: another process claims the device at once, and Open again finds it unclaimed and disabled.",
     L"Life cycle: the claim is exclusive across processes; Close releases the device.", 0, CloseReleasesEverything},
    {L"claim.release-unclaimed-106",
     L"ReleaseDevice while open but not claimed answers OPOS_E_ILLEGAL (106).",
     L"Life cycle: ReleaseDevice when not claimed answers 106.", 0, ReleaseUnclaimed106},
    {L"claim.timeout-below-minus-one-106",
     L"ClaimDevice with a time-out below -1 answers OPOS_E_ILLEGAL (106) and claims nothing.",
     L"Life cycle: ClaimDevice(timeout) with timeout below -1 is 106.", 0, TimeoutBelowMinusOne106},
    {L"claim.again-from-holder",
     L"ClaimDevice from the holder of the claim succeeds again and the device stays claimed.",
     L"Life cycle: claiming again from the holder succeeds.", 0, ClaimAgainFromHolder},
    {L"claim.exclusive-across-processes",
     L"While another process holds the claim, ClaimDevice(0) answers OPOS_E_TIMEOUT (112) and DeviceEnabled = true answers OPOS_E_CLAIMED (102); once it lets go, ClaimDevice succeeds.",
     L"Life cycle: the claim is exclusive across processes; held by another past the time-out is 112; DeviceEnabled while claimed by another is 102.",
     0, ClaimExclusiveAcrossProcesses},
    {L"claim.timeout-honoured",
     L"ClaimDevice with a time-out waits that long for a claim another process holds, then answers OPOS_E_TIMEOUT (112).",
     L"Life cycle: held by another application past the time-out is 112; 0 does not wait.", 0, ClaimTimeoutHonoured},
    {L"claim.enable-needs-claim-103",
     L"While open but not claimed, DeviceEnabled = true and ClearInput answer OPOS_E_NOTCLAIMED (103).",
     L"Life cycle: DeviceEnabled = true when not claimed is 103; ClearInput needs a claim.", 0, EnableNeedsClaim103},
    {L"enable.reads-back",
     L"Once claimed, DeviceEnabled reads back true and false as they are set, each write answering OPOS_SUCCESS.",
     L"Life cycle: DeviceEnabled needs the claim, and holds what was set.", 0, EnableReadsBack},
    {L"enable.release-disables",
     L"ReleaseDevice of an enabled device disables it: afterwards Claimed and DeviceEnabled read false.",
     L"Life cycle: releasing disables the device first.", 0, ReleaseDisables},
    {L"enable.methods-need-enable-105",
     L"CheckHealth while claimed but disabled answers OPOS_E_DISABLED (105).",
     L"Life cycle: methods that need the device enabled answer 105 while it is disabled (CheckHealth among them).",
     0, MethodsNeedEnable105},
    {L"power.capability-value",
     L"CapPowerReporting is none (0), standard (1) or advanced (2), and PowerNotify starts disabled.",
     L"Constants: CapPowerReporting 0, 1, 2; PowerNotify 0 disabled, 1 enabled.", 0, PowerCapabilityValue},
    {L"power.notify-while-enabled-106",
     L"Setting PowerNotify while the device is enabled answers OPOS_E_ILLEGAL (106).",
     L"Life cycle: PowerNotify may be set only while DeviceEnabled is false.", 0, NotifyWhileEnabled106},
    {L"power.notify-needs-capability",
     L"PowerNotify refuses values other than 0 and 1, and refuses enabled when CapPowerReporting is none (106); otherwise enabled is accepted while disabled.",
     L"Life cycle: 106 when PowerNotify is set to an illegal value or to enabled while CapPowerReporting is 0.",
     0, NotifyNeedsCapability},
    {L"power.state-reporting",
     L"PowerState reads unknown (2000) while notification is off, unsupported or the device disabled, and online (2001) once an enabled device reports power.",
     L"Constants: PowerState reads unknown while reporting is unsupported, notification is off, or the device is disabled.",
     0, PowerStateReporting},
    {L"events.data-event-enabled-gates",
     L"A label read while DataEventEnabled is false is held and counted in DataCount (freezing and thawing events does not release it), and arrives as a DataEvent with status 0 once DataEventEnabled is set true.",
     L"Input and events: a queued event is delivered only while DataEventEnabled is true; its status argument is 0.",
     1, DataEventEnabledGates},
    {L"events.frozen-holds-data",
     L"While FreezeEvents is true no DataEvent is delivered, even with DataEventEnabled true; it follows once FreezeEvents is set false.",
     L"Input and events: a queued event is delivered only while FreezeEvents is false.", 1, FrozenHoldsData},
    {L"events.data-count-drops",
     L"DataCount counts every queued label and drops by one with each DataEvent delivered.",
     L"Input and events: each label raises DataCount; just before delivery DataCount drops by one.", 2, DataCountDrops},
    {L"events.data-event-enabled-resets",
     L"Delivering a DataEvent sets DataEventEnabled false, so the next label waits until the application sets it true again.",
     L"Input and events: just before delivery DataEventEnabled becomes false.", 2, DataEventEnabledResets},
    {L"events.auto-disable",
     L"With AutoDisable true the device disables itself as soon as a label is queued.",
     L"Input and events: with AutoDisable true the device disables itself as soon as a label is queued.", 1, AutoDisable},
    {L"events.clear-input",
     L"ClearInput removes every queued label: DataCount reads 0 and no DataEvent follows.",
     L"Input and events: ClearInput removes every queued event; DataCount becomes 0.", 2, ClearInputEmptiesQueue},
    {L"events.clear-input-properties",
     L"ClearInputProperties empties ScanData and ScanDataLabel and sets ScanDataType to 0, and changes nothing else.",
     L"Input and events: ClearInputProperties resets ScanData, ScanDataLabel and ScanDataType, and nothing else.",
     1, ClearInputProperties},
    {L"data.decode-off",
     L"With DecodeData false, a delivered label leaves ScanDataLabel empty and ScanDataType 0, with the label in ScanData.",
     L"Decoded data: DecodeData false: ScanDataLabel is empty and ScanDataType is 0.", 1, DecodeOff},
    {L"data.decode-on",
     L"With DecodeData true, ScanDataLabel holds the label and ScanDataType its symbology; where ScanData begins with a symbology identifier, the type is the one it names and the label is without it.",
     L"Decoded data: DecodeData true: ScanDataLabel without identifier, ScanDataType the symbology; the ]cm identifiers and their types.",
     1, DecodeOn},
    {L"health.internal-external",
     L"CheckHealth at the internal (1) and external (2) levels succeeds, or answers 106 for a level the device lacks, and CheckHealthText then names the level.",
     L"CheckHealth levels 1 internal, 2 external; CheckHealthText \"Internal HCheck: Successful\".", 0, HealthInternalExternal},
    {L"health.unknown-level-106",
     L"CheckHealth with a level that does not exist answers OPOS_E_ILLEGAL (106).",
     L"CheckHealth levels: an unsupported level is 106.", 0, HealthUnknownLevel106},
    {L"health.interactive",
     L"With --interactive, CheckHealth at the interactive level (3) succeeds or answers 106, and CheckHealthText then names it.",
     L"CheckHealth level 3 interactive; CheckHealthText \"Interactive HCheck: Complete\".", 0, HealthInteractive},
    {L"stats.capability-gating",
     L"Statistics methods the capabilities rule out answer OPOS_E_ILLEGAL (106), or OPOS_E_EXTENDED (114) with ResultCodeExtended 280.",
     L"Statistics: Retrieve needs CapStatisticsReporting, Update and Reset also CapUpdateStatistics; a statistics failure answers 114 with 280.",
     0, StatisticsCapabilityGating},
    {L"stats.retrieve-parses",
     L"RetrieveStatistics of all statistics answers XML that parses: a UPOSStat root, an Equipment block of category Scanner, and entries each with a Name and a Value.",
     L"Statistics: the reply is a UPOSStat document with Equipment and one Event of Parameter entries.", 0, StatisticsParse},
    {L"stats.unknown-name",
     L"RetrieveStatistics of a name the device does not keep succeeds and returns that name with an empty value.",
     L"Statistics: an unknown name comes back with an empty value.", 0, StatisticsUnknownName},
    {L"stats.update-and-reset",
     L"With --allow-writes, UpdateStatistics sets GoodScanCount and ResetStatistics sets it back to 0, as RetrieveStatistics then reads.",
     L"Statistics: Update takes name=value pairs; Reset sets the named statistics to zero.", 0, StatisticsUpdateAndReset},
    {L"result.code-after-every-call",
     L"ResultCode reads the result of the last call: a method, a refused property write and a property read each leave their own code.",
     L"Life cycle: ResultCode holds the result of the last method, property write, or read of a property that needs an open device.",
     0, ResultCodeAfterEveryCall},
    {L"state.properties-readable",
     L"Every property reads without a call failure while open, claimed and enabled, each read leaving ResultCode OPOS_SUCCESS.",
     L"Life cycle: properties that need an open device are readable once it is open.", 0, PropertiesReadable},
    {L"events.application-thread",
     L"Events arrive on the application's thread, never inside one of its calls into the control, in this rule and in every rule run before it.",
     L"Input and events: events are delivered on the application's thread, never from inside one of its calls.",
     1, EventsOnApplicationThread},
};
// clang-format on

} // namespace

std::span<const Rule> Catalogue() { return kRules; }
