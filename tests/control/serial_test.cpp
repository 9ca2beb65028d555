// The serial scanner service end to end: a pseudo-terminal plays the scanner
// on COM7 (serial_feeder.py makes it and writes what these tests ask), and the
// control is driven through IDispatch as an application would.
#include "scanner_driver.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace quillon::control::test;

namespace {

constexpr wchar_t kSerial[] = L"QuillonTestSerial";
constexpr wchar_t kDeviceKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\";

void SetText(HKEY key, const wchar_t *name, const std::wstring &value) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetNumber(HKEY key, const wchar_t *name, DWORD value) {
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

// A serial device entry: COM7 115200 8N1, suffix CR, AIM identifiers, with
// one value replaced (name = text) when given.
void WriteSerialDevice(const wchar_t *device, const wchar_t *name = nullptr, const wchar_t *text = nullptr) {
  const std::wstring path = std::wstring(kDeviceKey) + device;
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
  ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WRITE));
  SetText(key.Get(), nullptr, L"Quillon.SerialScanner");
  SetText(key.Get(), L"Port", L"COM7");
  SetNumber(key.Get(), L"BaudRate", 115200);
  SetNumber(key.Get(), L"DataBits", 8);
  SetText(key.Get(), L"Parity", L"N");
  SetText(key.Get(), L"StopBits", L"1");
  SetText(key.Get(), L"Suffix", L"CR");
  SetNumber(key.Get(), L"AimIds", 1);
  SetNumber(key.Get(), L"LabelTimeout", 300);
  if (name) SetText(key.Get(), name, text);
}

std::string Hex(const std::string &bytes) {
  std::string out;
  char two[3];
  for (const unsigned char c : bytes) {
    snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out;
}

// The feeder's request directory, as a Windows path.
std::wstring FeederDir() {
  const char *dir = getenv("QUILLON_FEEDER_DIR");
  return dir ? WindowsPath(dir) : std::wstring();
}

// Asks the feeder to do one command and waits (pumping) until it is done.
void Feed(Scanner &s, const std::string &command) {
  static int next = 0;
  const std::wstring dir = FeederDir();
  ASSERT_FALSE(dir.empty()) << "run under serial_feeder.py";
  const int n = next++;
  const std::wstring temp = dir + L"\\tmp." + std::to_wstring(n);
  const std::wstring req = dir + L"\\req." + std::to_wstring(n);
  const std::wstring ack = dir + L"\\ack." + std::to_wstring(n);
  {
    std::ofstream f(temp.c_str(), std::ios::binary);
    f << command;
  }
  ASSERT_TRUE(MoveFileW(temp.c_str(), req.c_str()));
  ASSERT_TRUE(s.PumpUntil([&] { return GetFileAttributesW(ack.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000))
      << "the feeder did not do: " << command;
  std::ifstream f(ack.c_str());
  std::string result;
  std::getline(f, result);
  ASSERT_EQ("ok", result) << command;
}

// Writes the pieces one after another, `delayMs` apart.
void Write(Scanner &s, const std::vector<std::string> &pieces, int delayMs = 0) {
  std::string command = "write";
  for (const std::string &p : pieces)
    command += " " + Hex(p);
  if (delayMs) command += " delay=" + std::to_string(delayMs);
  Feed(s, command);
}

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

size_t Count(const Sink &sink, DISPID id) {
  size_t n = 0;
  for (const Event &e : sink.events)
    n += e.id == id;
  return n;
}

// Open, claimed and enabled with power reports on, decoding, every label
// delivered as it comes.
void ReadyWithPowerReports(Scanner &s) {
  ASSERT_EQ(0, s.CallText(Open, kSerial));
  ASSERT_EQ(0, s.Call(ClaimDevice, 1000));
  s.Put(PowerNotify, 1);
  s.PutBool(DeviceEnabled, true);
  s.PutBool(DecodeData, true);
  s.PutBool(DataEventEnabled, true);
  s.sink.rearm = true;
}

class SerialEnvironment : public testing::Environment {
  void SetUp() override { WriteSerialDevice(kSerial); }
  void TearDown() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                   (std::wstring(L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\") + kSerial).c_str());
  }
};
const auto *const kEnvironment = testing::AddGlobalTestEnvironment(new SerialEnvironment);

} // namespace

// Labels with identifiers, some split across writes (inside the identifier,
// between CR and LF), with blank lines and stray LFs between them.
TEST(SerialScanner, DeliversEachLabelWithItsTypeThroughNoiseAndSplitWrites) {
  Scanner s;
  s.Ready(kSerial);
  s.sink.rearm = true;
  struct Case {
    std::string raw;
    std::string label;
    long type;
  };
  const Case cases[] = {
      {"]E04006381333931", "4006381333931", 104},
      {"]E0012345678905", "012345678905", 101},
      {"]A0CODE39", "CODE39", 108},
      {"]C1011234567890123110ABC", "011234567890123110ABC", 120},
      {"]Q1https://example.org/q", "https://example.org/q", 204},
      {"]X9mystery", "mystery", 0},
      {"plain text", "plain text", 0},
  };
  Write(s,
        {"\r\n\r", cases[0].raw + "\r", "]", cases[1].raw.substr(1, 5), cases[1].raw.substr(6) + "\r",
         "\n" + cases[2].raw + "\r\n"},
        20);
  Write(s,
        {cases[3].raw + "\r\r" + cases[4].raw.substr(0, 2), cases[4].raw.substr(2) + "\r" + cases[5].raw + "\r",
         cases[6].raw + "\r"},
        5);
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 1) >= std::size(cases); }))
      << "got " << Count(s.sink, 1) << " labels";
  ASSERT_EQ(std::size(cases), s.sink.events.size()) << "nothing but the labels: no error, no empty label";
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Event &e = s.sink.events[i];
    EXPECT_EQ(Wide(cases[i].raw), e.scanData) << i;
    EXPECT_EQ(Wide(cases[i].label), e.scanDataLabel) << i;
    EXPECT_EQ(cases[i].type, e.scanDataType) << i;
  }
}

// A burst of labels in one write arrives whole and in order.
TEST(SerialScanner, BurstLosesNothing) {
  Scanner s;
  s.Ready(kSerial);
  s.sink.rearm = true;
  constexpr int kLabels = 300;
  std::string burst;
  for (int i = 0; i < kLabels; ++i)
    burst += "]C0QB" + std::to_string(100000 + i) + "\r";
  Write(s, {burst});
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 1) >= kLabels; }, 10000)) << Count(s.sink, 1);
  for (int i = 0; i < kLabels; ++i) {
    ASSERT_EQ(L"QB" + std::to_wstring(100000 + i), s.sink.events[static_cast<size_t>(i)].scanDataLabel) << i;
    ASSERT_EQ(110, s.sink.events[static_cast<size_t>(i)].scanDataType);
  }
}

// Labels that keep coming for seconds, one at a time as a person scans them,
// all arrive, and the line stays online the whole time.
TEST(SerialScanner, LabelsSpreadOverSecondsAllArriveAndTheLineStaysOnline) {
  Scanner s;
  ASSERT_NO_FATAL_FAILURE(ReadyWithPowerReports(s));
  constexpr int kLabels = 50;
  std::vector<std::string> pieces;
  for (int i = 0; i < kLabels; ++i)
    pieces.push_back("]A0S" + std::to_string(1000 + i) + "\r");
  Write(s, pieces, 50); // 2.5 s in all
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 1) >= kLabels; }, 10000)) << Count(s.sink, 1) << " labels";
  size_t label = 0;
  for (const Event &e : s.sink.events) {
    if (e.id == 1) {
      EXPECT_EQ(L"S" + std::to_wstring(1000 + label), e.scanDataLabel);
      ++label;
    }
  }
  EXPECT_EQ(1u, Count(s.sink, 5)) << "only the power state on enabling: the line never went offline";
  EXPECT_EQ(0u, Count(s.sink, 3)) << "no ErrorEvent";
  EXPECT_EQ(2001, s.GetLong(PowerState));
  EXPECT_EQ(0, s.Call(Close));
}

// A label that never gets its suffix is an input error; the labels around it
// are kept.
TEST(SerialScanner, LabelWithoutSuffixIsAnInputErrorAndLabelsAroundItStay) {
  Scanner s;
  s.Ready(kSerial);
  s.sink.rearm = true;
  s.sink.errorResponse = 13; // continue input
  Write(s, {"]E496385074\r]E0400"});
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 3) == 1; })) << "no ErrorEvent for the cut label";
  Write(s, {"]E001234565\r"});
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 1) == 2; }));
  ASSERT_EQ(3u, s.sink.events.size());
  EXPECT_EQ(1, s.sink.events[0].id);
  EXPECT_EQ(L"96385074", s.sink.events[0].scanDataLabel);
  EXPECT_EQ(103, s.sink.events[0].scanDataType);
  const Event &error = s.sink.events[1];
  EXPECT_EQ(3, error.id);
  ASSERT_EQ(4u, error.args.size());
  EXPECT_EQ(112, error.args[0]); // time-out
  EXPECT_EQ(6, error.args[1]);   // six bytes dropped
  EXPECT_EQ(2, error.args[2]);   // locus input
  EXPECT_EQ(L"]E001234565", s.sink.events[2].scanData);
  EXPECT_EQ(102, s.sink.events[2].scanDataType);
}

// Cable pulled and put back: offline, then online, and reading again on its own.
TEST(SerialScanner, PortThatGoesAwayIsReportedAndReopened) {
  Scanner s;
  ASSERT_NO_FATAL_FAILURE(ReadyWithPowerReports(s));
  ASSERT_EQ(2, s.GetLong(CapPowerReporting));
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 5) == 1; })) << "the power state on enabling";
  EXPECT_EQ(2001, s.sink.events.back().args.at(0));

  Feed(s, "unplug");
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 5) == 2; }, 5000)) << "no offline report";
  EXPECT_EQ(2003, s.sink.events.back().args.at(0));
  EXPECT_EQ(2003, s.GetLong(PowerState));

  Feed(s, "plug");
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 5) == 3; }, 5000)) << "no online report";
  EXPECT_EQ(2001, s.sink.events.back().args.at(0));
  EXPECT_EQ(2001, s.GetLong(PowerState));

  Write(s, {"]d2010950123456789817\r"});
  ASSERT_TRUE(s.PumpUntil([&] { return Count(s.sink, 1) == 1; }));
  EXPECT_EQ(L"010950123456789817", s.sink.events.back().scanDataLabel);
  EXPECT_EQ(208, s.sink.events.back().scanDataType);
  EXPECT_EQ(0, s.Call(Close));
}

// Configuration the service cannot use fails Open with a result code, and the
// control stays usable.
TEST(SerialScanner, BadConfigurationFailsOpen) {
  constexpr wchar_t kBad[] = L"QuillonTestSerialBad";
  struct Case {
    const wchar_t *name;
    const wchar_t *value;
    long result;
  } const cases[] = {
      {L"Port", L"LPT1", 104},     {L"Port", L"COM0", 104},  {L"Port", L"COM7x", 104},  {L"BaudRate", L"0", 104},
      {L"BaudRate", L"fast", 104}, {L"DataBits", L"9", 104}, {L"Parity", L"X", 104},    {L"StopBits", L"1.5", 104},
      {L"Suffix", L"TAB", 104},    {L"AimIds", L"2", 104},   {L"Port", L"COM213", 107}, // no such port
  };
  for (const Case &c : cases) {
    WriteSerialDevice(kBad, c.name, c.value);
    Scanner s;
    EXPECT_EQ(c.result, s.CallText(Open, kBad)) << c.name << L"=" << c.value;
    EXPECT_EQ(1, s.GetLong(State)) << "still closed";
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kDeviceKey) + kBad).c_str());
}
