// The statistics panel in the real main window: capability checks, the texts
// sent to the control, what is refreshed, and the count field's limit.
#include "console_window.h"

namespace {

const wchar_t kNotSupported[] = L"StatisticsReporting is not supported";
const wchar_t kExceeded[] = L"Exceeded the maximum input limit";

using StatisticsPanel = ConsoleWindow;

struct CountCase {
  const wchar_t *text;
  bool exceeds;
};

// Whatever reaches the field, typed or pasted; the limit is 2147483647.
const CountCase kCounts[] = {
    {L"2147483647", false},
    {L"2147483648", true},
    {L"9999999999", true},           // a tenth digit
    {L"99999999999999999999", true}, // beyond 64 bits
    {L"18446744073709551617", true}, // 2^64 + 1: must not wrap to 1
    {L"36893488147419103232", true}, // 2^65: must not wrap to 0
    {L"-99999999999", false},        // no lower bound
    {L"", false},
};

TEST_F(StatisticsPanel, TheCountFieldIsHeldToTheThirtyTwoBitLimit) {
  for (const CountCase &c : kCounts) {
    SCOPED_TRACE(testing::Message() << "count " << std::string(c.text, c.text + wcslen(c.text)));
    MessageBoxWatcher boxes;
    SetText(IDC_STATISTICS_COUNT, c.text);
    if (c.exceeds) {
      EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kExceeded});
      EXPECT_EQ(Text(IDC_STATISTICS_COUNT), L"2147483647");
    } else {
      EXPECT_EQ(boxes.Count(), 0u);
      EXPECT_EQ(Text(IDC_STATISTICS_COUNT), c.text);
    }
  }
  EXPECT_TRUE(m_fake->Calls().empty());
}

struct UpdateCase {
  const wchar_t *count;
  const wchar_t *sent;
};

TEST_F(StatisticsPanel, UpdateSendsTheCountOrErrorWhenTheFieldDoesNotPass) {
  const UpdateCase kUpdates[] = {
      {L"25", L"GoodScanCount=25"}, {L"0", L"GoodScanCount=0"},    {L"2147483647", L"GoodScanCount=2147483647"},
      {L"-5", L"GoodScanCount=-5"}, {L"", L"GoodScanCount=Error"},
  };
  m_reg.On(kCapUpdateStatistics, kGet).ReturnsBool(true);
  m_reg.On(kUpdateStatistics).Returns(114L);
  m_reg.On(kResultCodeId, kGet).Returns(106L);
  for (const UpdateCase &c : kUpdates) {
    SCOPED_TRACE(testing::Message() << "count " << std::string(c.count, c.count + wcslen(c.count)));
    MessageBoxWatcher boxes;
    SetText(IDC_STATISTICS_COUNT, L"-5"); // the last count that passes, below
    Click(IDC_UPDATE_STATISTICS);
    SetText(IDC_STATISTICS_COUNT, c.count);
    m_fake->ClearCalls();
    boxes.Clear();
    Click(IDC_UPDATE_STATISTICS);

    const auto updates = m_fake->CallsTo(kUpdateStatistics, kMethod);
    ASSERT_EQ(updates.size(), 1u);
    ASSERT_EQ(updates[0].args.size(), 1u);
    EXPECT_EQ(updates[0].args[0].vt, VT_BSTR);
    EXPECT_EQ(updates[0].args[0].value.AsString(), c.sent);
    EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(114));
    EXPECT_EQ(Text(IDC_RESULT_CODE), Name(106));
    if (*c.count) {
      EXPECT_EQ(boxes.Count(), 0u);
      EXPECT_EQ(Text(IDC_STATISTICS_COUNT), c.count);
    } else {
      // The framework's own report of the field, then the last good count.
      EXPECT_EQ(boxes.Count(), 1u);
      EXPECT_EQ(Text(IDC_STATISTICS_COUNT), L"-5");
    }
  }
}

TEST_F(StatisticsPanel, UpdateWithoutTheCapabilitySaysSoAndSendsAndRefreshesNothing) {
  MessageBoxWatcher boxes;
  SetText(IDC_STATISTICS_COUNT, L"12");
  Click(IDC_UPDATE_STATISTICS);
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kNotSupported});
  EXPECT_EQ(CallKinds(), (std::vector<std::pair<DISPID, WORD>>{{kCapUpdateStatistics, kGet}}));
  EXPECT_EQ(Text(IDC_RETURN_VALUE), L"");
  EXPECT_EQ(Text(IDC_RESULT_CODE), L"");
  EXPECT_EQ(m_dlg->m_nStatisticsCount, 12);
}

TEST_F(StatisticsPanel, RetrieveWithoutTheCapabilitySaysSoAndCallsNothingElse) {
  MessageBoxWatcher boxes;
  Click(IDC_RETRIEVE_STATISTICS);
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kNotSupported});
  EXPECT_EQ(CallKinds(), (std::vector<std::pair<DISPID, WORD>>{{kCapStatisticsReporting, kGet}}));
}

TEST_F(StatisticsPanel, ASuccessfulRetrieveShowsTheReplyAndRefreshesNothing) {
  const wchar_t kReply[] = L"<UPOSStat><ManufacturerStatistics>GoodScanCount=7</ManufacturerStatistics></UPOSStat>";
  m_reg.On(kCapStatisticsReporting, kGet).ReturnsBool(true);
  m_reg.On(kRetrieveStatistics).Returns(0L).ReplacesString(kReply);
  m_dlg->m_nLastReturn = 111;
  MessageBoxWatcher boxes;
  Click(IDC_RETRIEVE_STATISTICS);

  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kReply});
  const auto retrieves = m_fake->CallsTo(kRetrieveStatistics, kMethod);
  ASSERT_EQ(retrieves.size(), 1u);
  ASSERT_EQ(retrieves[0].args.size(), 1u);
  EXPECT_EQ(retrieves[0].args[0].vt, VT_BYREF | VT_BSTR);
  EXPECT_EQ(retrieves[0].args[0].value.AsString(), L"M_");
  EXPECT_TRUE(m_fake->CallsTo(kResultCodeId).empty());
  EXPECT_EQ(Text(IDC_RETURN_VALUE), L"");
  EXPECT_EQ(Text(IDC_RESULT_CODE), L"");
}

TEST_F(StatisticsPanel, AFailedRetrieveShowsNoBoxAndRefreshesWithoutStoringItsResult) {
  m_reg.On(kCapStatisticsReporting, kGet).ReturnsBool(true);
  m_reg.On(kRetrieveStatistics).Returns(111L).ReplacesString(L"partial");
  m_reg.On(kResultCodeId, kGet).Returns(111L);
  MessageBoxWatcher boxes;
  Click(IDC_RETRIEVE_STATISTICS);
  EXPECT_EQ(boxes.Count(), 0u);
  EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(0));
  EXPECT_EQ(Text(IDC_RESULT_CODE), Name(111));
}

TEST_F(StatisticsPanel, ResetZeroesTheScanCountEvenWhenTheDeviceFails) {
  m_reg.On(kResetStatistics).Returns(111L);
  m_reg.On(kResultCodeId, kGet).Returns(111L);
  m_dlg->m_nScanCount = 5;
  m_dlg->RefreshResults();
  ASSERT_EQ(Text(IDC_SCAN_COUNT), L"5");
  m_fake->ClearCalls();

  Click(IDC_RESET_STATISTICS);
  const auto resets = m_fake->CallsTo(kResetStatistics, kMethod);
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0].args[0].vt, VT_BSTR);
  EXPECT_EQ(resets[0].args[0].value.AsString(), L"GoodScanCount");
  EXPECT_EQ(Text(IDC_SCAN_COUNT), L"0");
  EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(0));
  EXPECT_EQ(Text(IDC_RESULT_CODE), Name(111));
}

TEST_F(StatisticsPanel, ClearInputPropertiesCallsTheControlAndChangesNothingOnScreen) {
  m_reg.On(kClearInputProperties).Returns(111L);
  Click(IDC_CLEAR_INPUT_PROPERTIES);
  EXPECT_EQ(CallKinds(), (std::vector<std::pair<DISPID, WORD>>{{kClearInputProperties, kMethod}}));
  EXPECT_EQ(Text(IDC_RETURN_VALUE), L"");
  EXPECT_EQ(Text(IDC_RESULT_CODE), L"");
  EXPECT_EQ(Text(IDC_SCAN_COUNT), L"");
}

} // namespace
