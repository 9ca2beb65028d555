// A scanner on a serial line, end to end: serial_feeder.py puts a
// pseudo-terminal behind the serial device's COM port, and the real console,
// driven from outside, shows every label with its symbology name.
#include "driver/console_process.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const wchar_t kDevice[] = L"QuillonSerial";
const wchar_t kSuccess[] = L"OPOS_SUCCESS";

std::wstring Windows(const std::string &unix) {
  std::wstring path = L"Z:";
  for (char c : unix)
    path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::string Hex(const std::string &bytes) {
  std::string out;
  char two[3];
  for (const unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out;
}

// Asks the feeder to write the pieces, delayMs apart; true once it has.
bool Feed(const std::vector<std::string> &pieces, int delayMs = 0) {
  static int next = 0;
  const char *dir = std::getenv("QUILLON_FEEDER_DIR");
  if (!dir) return false;
  std::string command = "write";
  for (const std::string &p : pieces)
    command += " " + Hex(p);
  if (delayMs) command += " delay=" + std::to_string(delayMs);
  const int n = next++;
  const std::wstring base = Windows(dir) + L"\\";
  const std::wstring temp = base + L"tmp." + std::to_wstring(n);
  const std::wstring req = base + L"req." + std::to_wstring(n);
  const std::wstring ack = base + L"ack." + std::to_wstring(n);
  {
    std::ofstream f(temp.c_str(), std::ios::binary);
    f << command;
  }
  if (!MoveFileW(temp.c_str(), req.c_str())) return false;
  return WaitUntil([&] { return GetFileAttributesW(ack.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5s);
}

class SerialConsole : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_console.Start());
    ASSERT_NE(m_console.WaitForMainWindow(), nullptr);
    m_main = m_console.MainWindow();

    ASSERT_TRUE(m_console.ChooseDevice(kDevice)) << "the serial device is not offered";
    ASSERT_TRUE(WaitUntil([&] { return m_console.Text(IDC_RETURN_VALUE) == kSuccess; }, 10s)) << "Open";
    for (int id : {IDC_CLAIM, IDC_DEVICE_ENABLE, IDC_DECODE_DATA}) {
      Press(id);
      ASSERT_EQ(kSuccess, m_console.Text(IDC_RESULT_CODE)) << id;
    }
    Press(IDC_AUTO_ENABLE); // ticks the box: every label re-arms the next
    ASSERT_EQ(BST_CHECKED, m_console.Check(IDC_AUTO_ENABLE));
  }

  void Press(int nID) const { m_console.Press(nID); }
  bool CountReaches(int n) const {
    return WaitUntil([&] { return m_console.Text(IDC_SCAN_COUNT) == std::to_wstring(n); }, 10s);
  }
  // What the device says when a label did not arrive: its queue and arming.
  std::string DeviceState() const {
    std::string state;
    for (const auto &[row, name] : {std::pair{10, "DataCount"}, std::pair{1, "DataEventEnabled"}, std::pair{7, "State"},
                                    std::pair{12, "PowerState"}, std::pair{5, "ResultCodeExtended"}}) {
      m_console.Select(IDC_PROPERTY_LIST, row);
      const std::wstring value = m_console.Text(IDC_PROPERTY_VALUE);
      state += std::string(" ") + name + "=" + std::string(value.begin(), value.end());
    }
    return state;
  }

  ConsoleProcess m_console;
  HWND m_main = nullptr;
};

struct Scan {
  std::vector<std::string> pieces; // as the scanner writes them
  const wchar_t *pszLabel;         // shown in 1016
  const wchar_t *pszType;          // shown in 1000
};

TEST_F(SerialConsole, EveryLabelArrivesWithItsSymbologyThroughNoiseAndSplitWrites) {
  const Scan kScans[] = {
      {{"]E04006381333931\r"}, L"4006381333931", L"SCAN_SDT_JAN13"},
      {{"]E0012345678905\r"}, L"012345678905", L"SCAN_SDT_UPCA"},
      {{"]E496385074\r"}, L"96385074", L"SCAN_SDT_JAN8"},
      {{"]A0CODE39\r"}, L"CODE39", L"SCAN_SDT_Code39"},
      {{"]C0ABC-123\r"}, L"ABC-123", L"SCAN_SDT_Code128"},
      {{"]C10109501101530003\r"}, L"0109501101530003", L"SCAN_SDT_EAN128"},
      {{"]Q1HELLO WORLD\r"}, L"HELLO WORLD", L"SCAN_SDT_QRCODE"},
      {{"]d2010950110153000317\r"}, L"010950110153000317", L"SCAN_SDT_GS1DATAMATRIX"},
      // Split across writes, 30 ms apart, as a slow line delivers it.
      {{"]E0400", "63813", "33931\r"}, L"4006381333931", L"SCAN_SDT_JAN13"},
      // Line noise: empty frames are dropped, not shown as labels.
      {{"\r\r", "]F0A1234B\r"}, L"A1234B", L"SCAN_SDT_Codabar"},
      // An identifier nobody knows keeps its data.
      {{"]X9SOMETHING\r"}, L"SOMETHING", L"SCAN_SDT_UNKNOWN"},
  };
  int count = 0;
  for (const Scan &scan : kScans) {
    SCOPED_TRACE(testing::Message() << "label " << std::wstring(scan.pszLabel).c_str());
    ASSERT_TRUE(Feed(scan.pieces, 30));
    ASSERT_TRUE(CountReaches(++count)) << "count shows " << m_console.Text(IDC_SCAN_COUNT).c_str() << DeviceState();
    EXPECT_EQ(scan.pszLabel, m_console.Text(IDC_SCAN_DATA_LABEL));
    EXPECT_EQ(scan.pszType, m_console.Text(IDC_SCAN_DATA_TYPE));
  }
}

TEST_F(SerialConsole, ABurstInOneWriteLosesNoLabel) {
  const int kBurst = 200;
  std::string burst;
  char label[32];
  for (int i = 1; i <= kBurst; ++i) {
    std::snprintf(label, sizeof label, "]C0B%05d\r", i);
    burst += label;
  }
  ASSERT_TRUE(Feed({burst}));
  EXPECT_TRUE(CountReaches(kBurst)) << "count shows " << m_console.Text(IDC_SCAN_COUNT).c_str() << DeviceState();
  EXPECT_EQ(L"B00200", m_console.Text(IDC_SCAN_DATA_LABEL));
  EXPECT_EQ(L"SCAN_SDT_Code128", m_console.Text(IDC_SCAN_DATA_TYPE));
}

} // namespace
