// A technician's session with the real console and the simulated scanner,
// driven from outside: Open through the chooser, Claim, Device Enable, Decode
// Data, Auto Enable, labels of many symbologies arriving with their names and
// a rising Scan Count; the power message box under a flood of status events;
// Release and Close.
#include "driver/console_process.h"
#include "driver/injector.h"
#include "driver/no_demo_labels.h"
#include "driver/screenshot.h"
#include "support/read_file.h"

#include "app/resource.h"
#include "control/inject/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const wchar_t kDevice[] = L"QuillonSim";
const wchar_t kSuccess[] = L"OPOS_SUCCESS";

struct Scan {
  long type;
  const char *data;
  const wchar_t *typeName;
};

// Ten labels, eight symbologies.
const Scan kScans[] = {
    {104, "4006381333931", L"SCAN_SDT_JAN13"},
    {101, "036000291452", L"SCAN_SDT_UPCA"},
    {103, "96385074", L"SCAN_SDT_JAN8"},
    {110, "QUILLON-128", L"SCAN_SDT_Code128"},
    {108, "QUILLON39", L"SCAN_SDT_Code39"},
    {201, "QUILLON PDF417 SAMPLE", L"SCAN_SDT_PDF417"},
    {203, "QUILLON-DM-0001", L"SCAN_SDT_DATAMATRIX"},
    {104, "5901234123457", L"SCAN_SDT_JAN13"},
    {9999, "MYSTERY", L"SCAN_SDT_UNKNOWN"},
    {204, "https://quillon.example/scan", L"SCAN_SDT_QRCODE"},
};

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

// The build directory, from the console's path in it (".../app/Quillon.exe").
std::string BuildDir() {
  std::string exe = ConsoleExeUnixPath();
  exe.erase(exe.find_last_of('/'));
  return exe.substr(0, exe.find_last_of('/'));
}

class Scanning : public testing::Test {
protected:
  void SetUp() override {
    // No sample labels of the device's own while the test counts scans.
    ASSERT_TRUE(m_quiet.Ready()) << "the simulated device is not registered";

    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"qso", 0, m_stdout);
    ASSERT_TRUE(m_console.Start(m_stdout));
    ASSERT_NE(m_console.WaitForMainWindow(), nullptr);
    m_main = m_console.MainWindow();
  }
  void TearDown() override {
    if (m_main) PostMessageW(m_main, WM_CLOSE, 0, 0);
    m_console.WaitForExit(10s);
    DeleteFileW(m_stdout);
  }

  void Press(int nID) const { m_console.Press(nID); }

  // Open: pick the device in the chooser and press OK.
  void OpenDevice() { ASSERT_TRUE(m_console.ChooseDevice(kDevice)) << "the simulated device is not offered"; }

  std::string Stdout() const { return ReadFileBytes(m_stdout); }

  NoDemoLabels m_quiet; // set back after TearDown has ended the console
  const Injector m_scanner{kDevice};
  ConsoleProcess m_console;
  HWND m_main = nullptr;
  wchar_t m_stdout[MAX_PATH] = L"";
};

TEST_F(Scanning, OpenClaimEnableAndScanLabelsOfManySymbologies) {
  // Out of order first: the control's error is shown, the box stays off.
  Press(IDC_CLAIM);
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE).substr(0, 13), L"OPOS_E_CLOSED");
  EXPECT_FALSE(m_console.IsEnabled(IDC_AUTO_ENABLE));

  OpenDevice();
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess);
  EXPECT_EQ(m_console.Text(IDC_SCAN_COUNT), L"0");
  // The chooser's listing went to standard output.
  const std::string trace = Stdout();
  EXPECT_NE(trace.find("Number of subkeys: "), std::string::npos) << trace;
  EXPECT_NE(trace.find(") QuillonSim\r\n"), std::string::npos) << trace;

  Press(IDC_CLAIM);
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess);
  EXPECT_TRUE(m_console.IsEnabled(IDC_AUTO_ENABLE));
  Press(IDC_DEVICE_ENABLE);
  EXPECT_EQ(m_console.Text(IDC_RESULT_CODE), kSuccess);
  Press(IDC_DECODE_DATA);
  EXPECT_EQ(m_console.Text(IDC_RESULT_CODE), kSuccess);
  ASSERT_NE(m_scanner.Window(), nullptr) << "no injection window for the open device";

  // Data Events arms one label; the next one waits until armed again.
  Press(IDC_DATA_EVENTS);
  ASSERT_TRUE(m_scanner.Label(kScans[0].type, kScans[0].data));
  ASSERT_TRUE(WaitUntil([&] { return m_console.Text(IDC_SCAN_COUNT) == L"1"; }, 10s));
  EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_LABEL), Wide(kScans[0].data));
  EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_TYPE), kScans[0].typeName);
  ASSERT_TRUE(m_scanner.Label(kScans[1].type, kScans[1].data)); // queued, not delivered
  Sleep(300);
  EXPECT_EQ(m_console.Text(IDC_SCAN_COUNT), L"1");

  // Auto Enable: the queued label arrives, and every later one by itself.
  Press(IDC_AUTO_ENABLE);
  ASSERT_EQ(m_console.Check(IDC_AUTO_ENABLE), BST_CHECKED);
  for (size_t i = 1; i < std::size(kScans); ++i) {
    SCOPED_TRACE(testing::Message() << "scan " << i + 1);
    if (i > 1) {
      ASSERT_TRUE(m_scanner.Label(kScans[i].type, kScans[i].data));
    }
    const std::wstring count = std::to_wstring(i + 1);
    ASSERT_TRUE(WaitUntil([&] { return m_console.Text(IDC_SCAN_COUNT) == count; }, 10s))
        << "count shows " << std::string(m_console.Text(IDC_SCAN_COUNT).begin(), m_console.Text(IDC_SCAN_COUNT).end());
    EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_LABEL), Wide(kScans[i].data));
    EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_TYPE), kScans[i].typeName);
  }
  Sleep(200);
  EXPECT_EQ(m_console.Text(IDC_SCAN_COUNT), L"10");
  TakeScreenshot(BuildDir() + "/shots/ten_scans.png");

  // Clear Input blanks the scan fields and keeps the count.
  Press(IDC_CLEAR_INPUT);
  EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_LABEL), L"");
  EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_TYPE), L"");
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess);
  EXPECT_EQ(m_console.Text(IDC_SCAN_COUNT), L"10");

  // Health check, then the way back: release and close.
  Press(IDC_CH_INTERNAL);
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess);
  Press(IDC_DEVICE_DISABLE);
  EXPECT_EQ(m_console.Text(IDC_RESULT_CODE), kSuccess);
  Press(IDC_RELEASE);
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess);
  EXPECT_EQ(m_console.Text(IDC_SCAN_COUNT), L"0");
  EXPECT_FALSE(m_console.IsEnabled(IDC_AUTO_ENABLE));
  EXPECT_EQ(m_console.Check(IDC_AUTO_ENABLE), BST_UNCHECKED);
  Press(IDC_CLOSE);
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess);
}

TEST_F(Scanning, AFloodOfPowerEventsShowsOneBoxAtATimeAndTheConsoleCarriesOn) {
  OpenDevice();
  Press(IDC_CLAIM);
  Press(IDC_DEVICE_ENABLE);
  Press(IDC_DECODE_DATA);
  Press(IDC_AUTO_ENABLE);
  ASSERT_NE(m_scanner.Window(), nullptr);

  // 10,000 "power off" events, then one "online": one box, with the newest
  // text the console had when it opened.
  ASSERT_TRUE(m_scanner.Numbers(quillon::inject::Flood, 10000, 2002));
  ASSERT_TRUE(m_scanner.Numbers(quillon::inject::Flood, 1, 2001));
  HWND box = nullptr;
  const auto first = m_console.WaitForMessageBox(L"Quillon", 20s, 0, &box);
  ASSERT_TRUE(first.has_value());
  EXPECT_TRUE(first->text == L"Device power off" || first->text == L"Device power online")
      << "box: " << first->text.size();

  // Scans are handled while the box is open, and so are more status events.
  ASSERT_TRUE(m_scanner.Label(110, "DURING-THE-BOX"));
  EXPECT_TRUE(WaitUntil([&] { return m_console.Text(IDC_SCAN_DATA_LABEL) == L"DURING-THE-BOX"; }, 10s));
  EXPECT_EQ(m_console.Text(IDC_SCAN_COUNT), L"1");
  ASSERT_TRUE(m_scanner.Numbers(quillon::inject::Flood, 500, 2004));
  Sleep(500);
  int boxes = 0;
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", L"Quillon")) != nullptr;) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == m_console.ProcessId() && IsWindowVisible(w)) ++boxes;
  }
  EXPECT_EQ(boxes, 1);

  // Dismissed: the newest text that came meanwhile, once, then nothing more.
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  // The first box is gone before the next one is looked for: a busy machine
  // may still show it, with its text already taken down.
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10s));
  const auto second = m_console.WaitForMessageBox(L"Quillon", 10s);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->text, L"Device power off or offline");
  EXPECT_FALSE(m_console.WaitForMessageBox(L"Quillon", 1s).has_value());

  // And the console still works.
  Press(IDC_CH_INTERNAL);
  EXPECT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess);
}

} // namespace
