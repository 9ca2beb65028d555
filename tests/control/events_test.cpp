// Input queueing and event delivery, power reporting, and input through the
// injection channel from another process.
#include "scanner_driver.h"

#include "control/inject_protocol.h"

using namespace scannertest;
namespace inject = quillon::inject;

namespace {

size_t Count(const Sink &sink, DISPID id) {
  size_t n = 0;
  for (const Event &e : sink.events)
    n += e.id == id;
  return n;
}

TEST(Events, LabelsQueueUntilDataEventsAreEnabledThenOneEventEach) {
  Scanner s;
  s.Ready(kFull);
  s.PutBool(DataEventEnabled, false);
  for (const char *label : {"A1", "B2", "C3"})
    EXPECT_EQ(1, InjectLabel(kFull, 110, label));
  s.Pump(100);
  EXPECT_TRUE(s.sink.events.empty());
  EXPECT_EQ(3, s.GetLong(DataCount));

  s.PutBool(DataEventEnabled, true);
  EXPECT_TRUE(s.sink.events.empty()) << "no event inside the property write";
  ASSERT_TRUE(s.PumpUntil([&] { return !s.sink.events.empty(); }));
  s.Pump(100);
  ASSERT_EQ(1u, s.sink.events.size()) << "one event per enabling";
  const Event &e = s.sink.events[0];
  EXPECT_EQ(1, e.id);
  EXPECT_EQ(std::vector<long>{0}, e.args);
  EXPECT_EQ(L"A1", e.scanData);
  EXPECT_EQ(L"A1", e.scanDataLabel);
  EXPECT_EQ(110, e.scanDataType);
  EXPECT_EQ(2, e.dataCount);
  EXPECT_FALSE(e.dataEventEnabled);

  s.sink.rearm = true;
  s.PutBool(DataEventEnabled, true);
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 3; }));
  EXPECT_EQ(L"B2", s.sink.events[1].scanData);
  EXPECT_EQ(L"C3", s.sink.events[2].scanData);
  EXPECT_EQ(0, s.GetLong(DataCount));
}

TEST(Events, FreezeEventsHoldsDeliveryAndReleasingItDelivers) {
  Scanner s;
  s.Ready(kFull);
  s.PutBool(FreezeEvents, true);
  EXPECT_EQ(1, InjectLabel(kFull, 104, "4006381333931"));
  s.Pump(150);
  EXPECT_TRUE(s.sink.events.empty());
  EXPECT_EQ(1, s.GetLong(DataCount));
  s.PutBool(FreezeEvents, false);
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 1; }));
  EXPECT_EQ(0, s.GetLong(DataCount));
}

TEST(Events, AutoDisableStopsInputAfterOneLabel) {
  Scanner s;
  s.Ready(kFull);
  s.PutBool(AutoDisable, true);
  EXPECT_EQ(1, InjectLabel(kFull, 110, "FIRST"));
  EXPECT_FALSE(s.GetBool(DeviceEnabled));
  EXPECT_EQ(0, InjectLabel(kFull, 110, "SECOND")) << "a disabled device takes no label";
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 1; }));
  EXPECT_EQ(L"FIRST", s.sink.events[0].scanData) << "queued input is delivered while disabled";
  s.PutBool(DeviceEnabled, true);
  EXPECT_EQ(1, InjectLabel(kFull, 110, "THIRD"));
}

TEST(Events, DecodeDataAndBinaryConversionShapeTheScanProperties) {
  struct Case {
    bool decode;
    long conversion;
    const wchar_t *scanData, *scanDataLabel;
    long type;
  } cases[] = {
      {false, 0, L"]E04006381333931", L"", 0},
      {true, 0, L"]E04006381333931", L"4006381333931", 104},
      {true, 1, L"5=4530", L"34", 104},     // nibbles of "]E0" / "4"
      {true, 2, L"093069048", L"052", 104}, // decimal triples of "]E0" / "4"
  };
  for (const Case &c : cases) {
    Scanner s;
    s.Ready(kFull, c.decode);
    s.Put(BinaryConversion, c.conversion);
    const std::string raw = c.conversion ? "]E0" : "]E04006381333931";
    const std::string data = c.conversion ? "4" : "4006381333931";
    EXPECT_EQ(1, InjectLabel(kFull, 104, data, raw));
    ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 1; }));
    EXPECT_EQ(c.scanData, s.GetString(ScanData)) << c.conversion;
    EXPECT_EQ(c.scanDataLabel, s.GetString(ScanDataLabel)) << c.conversion;
    EXPECT_EQ(c.type, s.GetLong(ScanDataType));
  }
}

TEST(Events, BytesAboveAsciiSurviveAsCharacters) {
  Scanner s;
  s.Ready(kFull);
  EXPECT_EQ(1, InjectLabel(kFull, 204, std::string("\x01\xFF\x80z", 4)));
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 1; }));
  EXPECT_EQ(std::wstring(L"\x01\xFF\x80z"), s.GetString(ScanData));
}

TEST(Events, ClearInputEmptiesTheQueueAndClearInputPropertiesTheScanData) {
  Scanner s;
  s.Ready(kFull);
  EXPECT_EQ(1, InjectLabel(kFull, 110, "ONE"));
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 1; }));
  for (const char *label : {"TWO", "THREE"})
    EXPECT_EQ(1, InjectLabel(kFull, 110, label));
  EXPECT_EQ(2, s.GetLong(DataCount));
  EXPECT_EQ(0, s.Call(ClearInput));
  EXPECT_EQ(0, s.GetLong(DataCount));
  EXPECT_EQ(L"ONE", s.GetString(ScanData)) << "ClearInput leaves the scan properties";
  s.PutBool(DataEventEnabled, true);
  s.Pump(100);
  EXPECT_EQ(1u, s.sink.events.size());
  EXPECT_EQ(0, s.Call(ClearInputProperties));
  EXPECT_EQ(L"", s.GetString(ScanData));
  EXPECT_EQ(L"", s.GetString(ScanDataLabel));
  EXPECT_EQ(0, s.GetLong(ScanDataType));
  EXPECT_TRUE(s.GetBool(DataEventEnabled)) << "and nothing else";
}

TEST(Events, InputErrorRaisesErrorEventAndClearResponseEmptiesInput) {
  Scanner s;
  s.Ready(kFull);
  s.PutBool(DataEventEnabled, false);
  EXPECT_EQ(1, InjectLabel(kFull, 110, "BEFORE"));
  InjectNumbers(kFull, inject::Error, 111, 0);
  EXPECT_EQ(4, s.GetLong(State));
  s.sink.rearm = true;
  s.PutBool(DataEventEnabled, true);
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 2; }));
  EXPECT_EQ(1, s.sink.events[0].id);
  EXPECT_EQ(3, s.sink.events[1].id);
  EXPECT_EQ((std::vector<long>{111, 0, 2, 12}), s.sink.events[1].args);
  EXPECT_EQ(2, s.GetLong(State));
}

TEST(Events, PowerReportingFollowsNotifyAndCapability) {
  struct Case {
    const wchar_t *device;
    long offCode;
  } cases[] = {{kFull, 2002}, {kStandardPower, 2004}};
  for (const Case &c : cases) {
    Scanner s;
    ASSERT_EQ(0, s.CallText(Open, c.device));
    ASSERT_EQ(0, s.Call(ClaimDevice, 0));
    s.Put(PowerNotify, 1);
    ASSERT_EQ(0, s.GetLong(ResultCode));
    EXPECT_EQ(2000, s.GetLong(PowerState)) << "unknown while disabled";
    s.PutBool(DeviceEnabled, true);
    ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 1; }));
    EXPECT_EQ(5, s.sink.events[0].id);
    EXPECT_EQ(std::vector<long>{2001}, s.sink.events[0].args);
    EXPECT_EQ(2001, s.GetLong(PowerState));
    InjectNumbers(c.device, inject::Power, 2002);
    ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 2; }));
    EXPECT_EQ(std::vector<long>{c.offCode}, s.sink.events[1].args);
    EXPECT_EQ(c.offCode, s.GetLong(PowerState));
    EXPECT_EQ(0, InjectLabel(c.device, 110, "X")) << "a powered-off scanner reads nothing";
    s.PutBool(DeviceEnabled, false);
    EXPECT_EQ(2000, s.GetLong(PowerState));
  }
}

TEST(Events, StatusUpdatesAreNotHeldByDataEventEnabled) {
  Scanner s;
  s.Ready(kFull);
  s.PutBool(DataEventEnabled, false);
  EXPECT_EQ(1, InjectLabel(kFull, 110, "HELD"));
  InjectNumbers(kFull, inject::Flood, 500, 2001);
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 5) == 500; }));
  EXPECT_EQ(0u, Count(s.sink, 1));
  EXPECT_EQ(1, s.GetLong(DataCount));
}

TEST(Events, ClosingInsideAnEventHandlerStopsDelivery) {
  Scanner s;
  s.Ready(kFull);
  s.PutBool(DataEventEnabled, false);
  for (const char *label : {"A", "B"})
    EXPECT_EQ(1, InjectLabel(kFull, 110, label));
  InjectNumbers(kFull, inject::Flood, 3, 7);
  s.PutBool(DataEventEnabled, true);
  ASSERT_TRUE(s.PumpUntil([&] { return !s.sink.events.empty(); }));
  EXPECT_EQ(0, s.Call(Close));
  const size_t seen = s.sink.events.size();
  s.Pump(100);
  EXPECT_EQ(seen, s.sink.events.size());
}

TEST(CrossProcess, ClaimIsExclusiveAndTimesOut) {
  Scanner s;
  ASSERT_EQ(0, s.CallText(Open, kFull));
  const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"QuillonClaimHelperReady");
  ASSERT_NE(nullptr, ready);
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::wstring line = WindowsPath(QUILLON_CLAIM_HELPER) + L" " + kFull + L" 1500";
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 15000)) << "the helper did not claim";
  EXPECT_EQ(112, s.Call(ClaimDevice, 0));
  EXPECT_EQ(112, s.Call(ClaimDevice, 200));
  s.PutBool(DeviceEnabled, true);
  EXPECT_EQ(102, s.GetLong(ResultCode));
  EXPECT_EQ(0, s.Call(ClaimDevice, 15000)) << "the claim passes over when the holder releases";
  WaitForSingleObject(pi.hProcess, 15000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(0u, code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(ready);
}

TEST(CrossProcess, ScanInjectDeliversEveryNumberedLabelInOrder) {
  Scanner s;
  s.Ready(kFull);
  s.sink.rearm = true;
  const std::wstring tool = WindowsPath(QUILLON_SCANINJECT);
  EXPECT_EQ(0u, RunProgram(tool + L" " + kFull + L" burst 2000 110 1"));
  EXPECT_EQ(0u, RunProgram(tool + L" " + kFull + L" label 104 4006381333931"));
  EXPECT_EQ(3u, RunProgram(tool + L" NoSuchDevice label 104 4006381333931"));
  EXPECT_EQ(2u, RunProgram(tool + L" " + kFull + L" label notanumber X"));
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 2001; }, 20000)) << s.sink.events.size();
  for (size_t i = 0; i < 2000; ++i) {
    wchar_t expect[16];
    swprintf(expect, 16, L"QB%08u", static_cast<unsigned>(i + 1));
    ASSERT_EQ(expect, s.sink.events[i].scanData) << i;
  }
  EXPECT_EQ(L"4006381333931", s.sink.events[2000].scanDataLabel);
  EXPECT_EQ(104, s.sink.events[2000].scanDataType);
}

} // namespace
