// The property browser, the Direct IO panel and the statistics panel of the
// real console against the simulated scanner, driven from outside as a user
// would: choosing list entries, typing, pressing buttons, reading the fields
// and the message boxes.
#include "driver/console_process.h"
#include "driver/injector.h"

#include "app/resource.h"
#include "control/inject/protocol.h"

#include <gtest/gtest.h>

#include <cwctype>

using namespace std::chrono_literals;

namespace {

const wchar_t kDevice[] = L"QuillonSim";
const wchar_t kSuccess[] = L"OPOS_SUCCESS";

bool IsNumber(const std::wstring &s) {
  size_t i = !s.empty() && s[0] == L'-' ? 1 : 0;
  if (i >= s.size()) return false;
  for (; i < s.size(); ++i)
    if (!iswdigit(s[i])) return false;
  return true;
}

class Panels : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_console.Start());
    ASSERT_NE(m_console.WaitForMainWindow(), nullptr);
    m_main = m_console.MainWindow();

    ASSERT_TRUE(m_console.ChooseDevice(kDevice)) << "the simulated device is not offered";
    ASSERT_TRUE(WaitUntil([&] { return m_console.Text(IDC_RETURN_VALUE) == kSuccess; }, 10s)) << "Open did not succeed";

    Press(IDC_CLAIM);
    ASSERT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess) << "Claim";
    Press(IDC_DEVICE_ENABLE);
    ASSERT_EQ(m_console.Text(IDC_RETURN_VALUE), kSuccess) << "Device Enable";
  }

  void Press(int nID) const { m_console.Press(nID); }

  // Chooses row nRow of the property list and returns the value shown.
  std::wstring Read(int nRow) const {
    m_console.Select(IDC_PROPERTY_LIST, nRow);
    return m_console.Text(IDC_PROPERTY_VALUE);
  }
  void Write(int nRow, const wchar_t *value) const {
    m_console.Select(IDC_PROPERTY_LIST, nRow);
    m_console.SetText(IDC_PROPERTY_VALUE, value);
    Press(IDC_SET_PROPERTIES);
  }

  ConsoleProcess m_console;
  HWND m_main = nullptr;
};

TEST_F(Panels, EveryPropertyReadsAndEveryWritableOneReadsBackWhatWasWritten) {
  enum Kind { B, L, S };
  const Kind kKinds[28] = {B, B, B, B, L, L, L, L, B, L, L, L, L, L, B, L, S, S, S, S, S, S, S, L, B, B, B, B};
  for (int row = 0; row < 28; ++row) {
    SCOPED_TRACE(testing::Message() << "row " << row);
    const std::wstring value = Read(row);
    EXPECT_EQ(m_console.Text(IDC_RESULT_CODE), kSuccess);
    if (kKinds[row] == B) {
      EXPECT_TRUE(value == L"0" || value == L"1");
    } else if (kKinds[row] == L) {
      EXPECT_TRUE(IsNumber(value));
    }
  }
  // An open, claimed, enabled, idle device with nothing scanned yet.
  EXPECT_EQ(Read(0), L"1"); // Claimed
  EXPECT_EQ(Read(2), L"1"); // DeviceEnabled
  EXPECT_EQ(Read(7), L"2"); // State: idle
  EXPECT_NE(Read(17), L""); // DeviceDescription
  EXPECT_NE(Read(19), L""); // ServiceObjectDescription
  EXPECT_NE(Read(22), L""); // ControlObjectDescription

  struct Writable {
    int row;
    const wchar_t *value;
    const wchar_t *restore;
  };
  const Writable kWritable[] = {
      {1, L"1", L"0"},  // DataEventEnabled
      {3, L"1", L"0"},  // FreezeEvents
      {8, L"1", L"0"},  // AutoDisable
      {9, L"1", L"0"},  // BinaryConversion
      {14, L"1", L"0"}, // DecodeData
  };
  for (const Writable &w : kWritable) {
    SCOPED_TRACE(testing::Message() << "row " << w.row);
    Write(w.row, w.value);
    EXPECT_EQ(m_console.Text(IDC_RESULT_CODE), kSuccess);
    EXPECT_EQ(Read(w.row), w.value);
    Write(w.row, w.restore);
    EXPECT_EQ(Read(w.row), w.restore);
  }

  // DeviceEnabled, and PowerNotify, which a device takes only while disabled
  // and only when it reports power at all.
  Write(2, L"0");
  EXPECT_EQ(Read(2), L"0");
  const bool reportsPower = Read(13) != L"0";
  Write(11, L"1");
  EXPECT_EQ(m_console.Text(IDC_RESULT_CODE).substr(0, 13), reportsPower ? kSuccess : L"OPOS_E_ILLEGAL");
  EXPECT_EQ(Read(11), reportsPower ? L"1" : L"0");
  Write(2, L"1");
  EXPECT_EQ(Read(2), L"1");
}

TEST_F(Panels, EveryDirectIOCommandRunsAndShowsItsReply) {
  ASSERT_EQ(SendMessageW(GetDlgItem(m_main, IDC_DIRECTIO_COMMAND), CB_GETCOUNT, 0, 0), 10);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(testing::Message() << "command " << i);
    m_console.Select(IDC_DIRECTIO_COMMAND, i);
    Press(IDC_DIRECTIO_CLEAR);
    Press(IDC_DIRECTIO_EXECUTE);
    EXPECT_EQ(m_console.Text(IDC_RESULT_CODE), kSuccess);
    EXPECT_TRUE(IsNumber(m_console.Text(IDC_DIRECTIO_STATUS)));
    const bool replies = i <= 5 || i >= 8; // the commands that answer with a document
    if (replies) {
      EXPECT_EQ(m_console.Text(IDC_DIRECTIO_OUTPUT).substr(0, 1), L"<");
    }
  }
}

// The value of one statistic in a statistics reply; -1 when it is missing.
long long StatisticIn(const std::wstring &reply, const std::wstring &name) {
  const std::wstring key = L"<Name>" + name + L"</Name>";
  const size_t at = reply.find(key);
  const size_t value = at == std::wstring::npos ? at : reply.find(L"<Value>", at);
  return value == std::wstring::npos ? -1 : std::wcstoll(reply.c_str() + value + 7, nullptr, 10);
}

// The console asks for the manufacturer statistics ("M_"); the simulated
// device reports GoodScanCount and the labels scanned through its injector
// among them. Its statistics persist, so the test compares before and after.
TEST_F(Panels, RetrieveAfterScansShowsTheCountInTheReply) {
  const Injector scanner(kDevice);
  ASSERT_NE(scanner.Window(), nullptr) << "no injection window for the open device";
  auto retrieve = [&] {
    m_console.Click(IDC_RETRIEVE_STATISTICS); // posted: the reply comes in a message box
    const auto box = m_console.WaitForMessageBox(L"Quillon", 10s);
    return box ? box->text : std::wstring();
  };
  const std::wstring before = retrieve();
  ASSERT_NE(before.find(L"<UPOSStat"), std::wstring::npos) << "no statistics reply";
  const long long injectedBefore = StatisticIn(before, L"InjectedLabelCount");
  ASSERT_GE(injectedBefore, 0);

  Press(IDC_RESET_STATISTICS);
  ASSERT_EQ(m_console.Text(IDC_SCAN_COUNT), L"0");
  const int kScans = 3;
  for (int i = 0; i < kScans; ++i) {
    Write(1, L"1"); // DataEventEnabled: one event per arming
    ASSERT_TRUE(scanner.Numbers(quillon::inject::Burst, 1, 103 /* EAN-8 */, i));
    ASSERT_TRUE(WaitUntil([&] { return m_console.Text(IDC_SCAN_COUNT) == std::to_wstring(i + 1); }, 10s));
  }

  const std::wstring after = retrieve();
  EXPECT_EQ(StatisticIn(after, L"InjectedLabelCount"), injectedBefore + kScans) << "the reply does not count the scans";
  // Reset Statistics zeroed GoodScanCount; it counts the delivered labels since.
  EXPECT_EQ(StatisticIn(after, L"GoodScanCount"), kScans) << after;
}

} // namespace
