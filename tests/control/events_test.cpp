// Events end to end: a label injected into the simulated device reaches the
// application's handler, with its data shaped as the properties say; input
// from another process. The queueing and delivery rules are tested on the
// device core itself (native/core_events_test.cpp).
#include "scanner_driver.h"

#include "comkit/window_class.h"
#include "control/inject/protocol.h"

#include <thread>

using namespace quillon::control::test;
namespace inject = quillon::inject;

namespace {

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

TEST(CrossProcess, ClaimIsExclusiveAndTimesOut) {
  Scanner s;
  ASSERT_EQ(0, s.CallText(Open, kFull));
  const ClaimHelper helper(kFull, 1500);
  ASSERT_TRUE(helper.Started());
  ASSERT_TRUE(helper.WaitUntilClaimed()) << "the helper did not claim";
  EXPECT_EQ(112, s.Call(ClaimDevice, 0));
  EXPECT_EQ(112, s.Call(ClaimDevice, 200));
  s.PutBool(DeviceEnabled, true);
  EXPECT_EQ(102, s.GetLong(ResultCode));
  EXPECT_EQ(0, s.Call(ClaimDevice, 15000)) << "the claim passes over when the holder releases";
  EXPECT_EQ(0u, helper.WaitForExit());
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

// Closing the device while another process floods it with events ends the
// flood at once instead of after billions of events.
TEST(CrossProcess, CloseEndsAFloodInProgress) {
  Scanner s;
  s.Ready(kFull);
  ChildProcess flood;
  ASSERT_TRUE(flood.Start(WindowsPath(QUILLON_SCANINJECT) + L" " + kFull + L" flood 2000000000"));
  Sleep(300);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(0, s.Call(Close));
  EXPECT_LT(GetTickCount64() - start, 3000u);
  EXPECT_TRUE(flood.WaitForExit(10000));
}

// A message that never reaches the device (its thread does not answer, or
// Windows refuses it) is reported as such, not as a label the device refused.
TEST(CrossProcess, InjectionThatDoesNotArriveIsReportedAsSuch) {
  const ScopedHandle created(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread deaf([&] {
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = quillon::inject::kInjectClass;
    comkit::RegisterClassOnce(wc);
    HWND h = CreateWindowExW(0, quillon::inject::kInjectClass, L"QuillonTestDeaf", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    SetEvent(created.Get());
    WaitForSingleObject(release.Get(), 20000); // and answers nothing meanwhile
    DestroyWindow(h);
  });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(created.Get(), 5000));
  const std::wstring tool = WindowsPath(QUILLON_SCANINJECT);
  EXPECT_EQ(4u, RunProgram(tool + L" --timeout=300 QuillonTestDeaf label 104 4006381333931"));
  SetEvent(release.Get());
  deaf.join();
}

} // namespace
