// The real console against the stand-in control switched to act as stricter
// control objects do (HKCU\Software\Quillon\StandInControl): one that offers
// no class information still delivers its labels, and one that refuses the
// window's stored state still lets the console start.
#include "driver/console_process.h"
#include "driver/injector.h"
#include "driver/no_demo_labels.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const wchar_t kDevice[] = L"QuillonSim";
const wchar_t kSuccess[] = L"OPOS_SUCCESS";
const wchar_t kSwitchKey[] = L"Software\\Quillon\\StandInControl";

class StrictControl : public testing::Test {
protected:
  void SetUp() override {
    // No sample labels of the device's own while the test looks for its own.
    ASSERT_TRUE(m_quiet.Ready()) << "the simulated device is not registered";
  }
  void TearDown() override {
    if (m_console.MainWindow()) PostMessageW(m_console.MainWindow(), WM_CLOSE, 0, 0);
    m_console.WaitForExit(10s);
    // The switches go again, and the key when nothing else is in it.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      for (const wchar_t *name : m_switches)
        RegDeleteValueW(key, name);
      DWORD values = 0;
      DWORD subkeys = 0;
      RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr);
      RegCloseKey(key);
      if (values == 0 && subkeys == 0) RegDeleteKeyW(HKEY_CURRENT_USER, kSwitchKey);
    }
  }

  // Switches the stand-in control to a stricter behaviour for the objects it
  // makes from now on.
  void Switch(const wchar_t *name) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD on = 1;
    EXPECT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&on), sizeof on), ERROR_SUCCESS);
    RegCloseKey(key);
    m_switches.push_back(name);
  }

  // Starts the console and waits for its main window; no message may come.
  void StartConsole() {
    ASSERT_TRUE(m_console.Start());
    const HWND main = m_console.WaitForMainWindow(10s);
    const auto box = m_console.WaitForMessageBox(L"", main ? 1500ms : 0ms);
    EXPECT_FALSE(box.has_value()) << "a message came: " << std::string(box->text.begin(), box->text.end());
    ASSERT_NE(main, nullptr) << "the main window did not come up";
  }

  // Open, Claim, Device Enable, Decode Data, each succeeding.
  void OpenClaimEnable() {
    ASSERT_TRUE(m_console.ChooseDevice(kDevice)) << "the simulated device is not offered";
    ASSERT_TRUE(WaitUntil([&] { return m_console.Text(IDC_RETURN_VALUE) == kSuccess; }, 10s)) << "Open";
    for (int nID : {IDC_CLAIM, IDC_DEVICE_ENABLE, IDC_DECODE_DATA}) {
      m_console.Press(nID);
      ASSERT_EQ(m_console.Text(IDC_RESULT_CODE), kSuccess) << nID;
    }
  }

  NoDemoLabels m_quiet; // set back after TearDown has ended the console
  const Injector m_scanner{kDevice};
  ConsoleProcess m_console;
  std::vector<const wchar_t *> m_switches;
};

TEST_F(StrictControl, WithoutClassInformationTheConsoleStartsQuietlyAndLabelsArrive) {
  Switch(L"NoClassInfo");
  ASSERT_NO_FATAL_FAILURE(StartConsole());
  ASSERT_NO_FATAL_FAILURE(OpenClaimEnable());
  ASSERT_NE(m_scanner.Window(), nullptr);

  m_console.Press(IDC_DATA_EVENTS);
  ASSERT_TRUE(m_scanner.Label(104, "4006381333931"));
  EXPECT_TRUE(WaitUntil([&] { return m_console.Text(IDC_SCAN_COUNT) == L"1"; }, 10s)) << "no DataEvent arrived";
  EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_LABEL), L"4006381333931");
  EXPECT_EQ(m_console.Text(IDC_SCAN_DATA_TYPE), L"SCAN_SDT_JAN13");
}

TEST_F(StrictControl, AControlThatRefusesTheStoredStateStillLetsTheConsoleStart) {
  Switch(L"RefuseStateStream");
  ASSERT_NO_FATAL_FAILURE(StartConsole());
  EXPECT_FALSE(m_console.WaitForExit(0ms).has_value()) << "the console ended";
  ASSERT_NO_FATAL_FAILURE(OpenClaimEnable());
  m_console.Press(IDC_AUTO_ENABLE);
  ASSERT_TRUE(m_scanner.Label(110, "QUILLON-128"));
  EXPECT_TRUE(WaitUntil([&] { return m_console.Text(IDC_SCAN_DATA_LABEL) == L"QUILLON-128"; }, 10s));
}

} // namespace
