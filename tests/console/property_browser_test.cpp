// The property browser in the real main window: what each row reads and
// writes on the control, the locking of read-only rows, and the parsing of
// the value typed for a write.
#include "console_window.h"

namespace {

enum class Kind { Bool, Long, String };

struct Row {
  const wchar_t *label;
  Kind kind;
  DISPID getId;
  DISPID setId; // 0: read-only
};

// The list as the user sees it, top to bottom.
const Row kRows[] = {
    {L"PIDX_Claimed", Kind::Bool, 14, 0},
    {L"PIDX_DataEventEnabled", Kind::Bool, 16, 16},
    {L"PIDX_DeviceEnabled", Kind::Bool, 17, 17},
    {L"PIDX_FreezeEvents", Kind::Bool, 18, 18},
    {L"PIDX_ResultCode", Kind::Long, 22, 0},
    {L"PIDX_ResultCodeExtended", Kind::Long, 23, 0},
    {L"PIDX_ServiceObjectVersion", Kind::Long, 28, 0},
    {L"PIDX_State", Kind::Long, 24, 0},
    {L"PIDX_AutoDisable", Kind::Bool, 10, 10},
    {L"PIDX_BinaryConversion", Kind::Long, 11, 11},
    {L"PIDX_DataCount", Kind::Long, 15, 0},
    {L"PIDX_PowerNotify", Kind::Long, 20, 20},
    {L"PIDX_PowerState", Kind::Long, 21, 0},
    {L"PIDX_CapPowerReporting", Kind::Long, 12, 0},
    {L"PIDXScan_DecodeData", Kind::Bool, 50, 50},
    {L"PIDXScan_ScanDataType", Kind::Long, 53, 0},
    {L"PIDX_CheckHealthText", Kind::String, 13, 0},
    {L"PIDX_DeviceDescription", Kind::String, 29, 0},
    {L"PIDX_DeviceName", Kind::String, 30, 0},
    {L"PIDX_ServiceObjectDescription", Kind::String, 27, 0},
    {L"PIDXScan_ScanData", Kind::String, 51, 0},
    {L"PIDXScan_ScanDataLabel", Kind::String, 52, 0},
    {L"PIDXScan_ControlObjectDescription", Kind::String, 25, 0},
    {L"PIDXScan_ControlObjectVersion", Kind::Long, 26, 0},
    {L"PIDX_CapStatisticsReporting", Kind::Bool, 39, 0},
    {L"PIDX_CapUpdateStatistics", Kind::Bool, 40, 0},
    {L"PIDX_CapCompareFirmwareVersion", Kind::Bool, 44, 0},
    {L"PIDX_CapUpdateFirmware", Kind::Bool, 45, 0},
};
constexpr int kPowerNotifyRow = 11;
constexpr int kDecodeDataRow = 14;

using PropertyBrowser = ConsoleWindow;

// Each row, chosen in list order on one window: the getter of its property,
// the value shown, the locking, and what Set Properties sends.
TEST_F(PropertyBrowser, EachRowReadsItsPropertyAndOnlyWritableRowsWrite) {
  ASSERT_EQ(SendMessageW(Item(IDC_PROPERTY_LIST), CB_GETCOUNT, 0, 0), 28);
  for (int i = 0; i < 28; ++i) {
    const Row &row = kRows[i];
    SCOPED_TRACE(row.label);
    EXPECT_EQ(m_dlg->m_cbProperty.GetLBText(i).str(), row.label);
    std::wstring shown;
    switch (row.kind) {
    case Kind::Bool:
      m_reg.On(row.getId, kGet).ReturnsBool(true);
      shown = L"1";
      break;
    case Kind::Long:
      m_reg.On(row.getId, kGet).Returns(-70000L - i);
      shown = std::to_wstring(-70000L - i);
      break;
    case Kind::String:
      shown = std::wstring(L"text of ") + row.label;
      m_reg.On(row.getId, kGet).Returns(shown.c_str());
      break;
    }
    m_fake->ClearCalls();
    Choose(IDC_PROPERTY_LIST, i);

    ASSERT_FALSE(m_fake->Calls().empty());
    EXPECT_EQ(CallKinds().front(), std::make_pair(row.getId, kGet));
    EXPECT_EQ(CallKinds().back(), std::make_pair(kResultCodeId, kGet)) << "no refresh after the read";
    EXPECT_EQ(Text(IDC_PROPERTY_VALUE), shown);
    EXPECT_EQ(Enabled(IDC_SET_PROPERTIES), row.setId != 0);
    EXPECT_EQ(ReadOnly(IDC_PROPERTY_VALUE), row.setId == 0);

    SetText(IDC_PROPERTY_VALUE, L"1");
    m_fake->ClearCalls();
    Click(IDC_SET_PROPERTIES);
    const auto puts = m_fake->CallsTo(row.setId ? row.setId : row.getId, kPut);
    if (row.setId == 0) {
      EXPECT_TRUE(puts.empty());
      EXPECT_EQ(CallKinds(), (std::vector<std::pair<DISPID, WORD>>{{kResultCodeId, kGet}}));
      continue;
    }
    ASSERT_EQ(puts.size(), 1u);
    ASSERT_EQ(puts[0].args.size(), 1u);
    EXPECT_EQ(puts[0].args[0].vt, row.kind == Kind::Bool ? VT_BOOL : VT_I4);
    EXPECT_EQ(puts[0].args[0].value.AsLong(), row.kind == Kind::Bool ? -1 : 1);
  }
}

TEST_F(PropertyBrowser, AReadOnlyRowLocksTheFieldAndAWritableOneUnlocksIt) {
  Choose(IDC_PROPERTY_LIST, 0); // PIDX_Claimed
  EXPECT_EQ(Text(IDC_PROPERTY_VALUE), L"0");
  EXPECT_TRUE(ReadOnly(IDC_PROPERTY_VALUE));
  EXPECT_FALSE(Enabled(IDC_SET_PROPERTIES));

  Choose(IDC_PROPERTY_LIST, 2); // PIDX_DeviceEnabled
  EXPECT_FALSE(ReadOnly(IDC_PROPERTY_VALUE));
  EXPECT_TRUE(Enabled(IDC_SET_PROPERTIES));
}

TEST_F(PropertyBrowser, SetBeforeAnyRowIsChosenDoesNothingAtAll) {
  SetText(IDC_PROPERTY_VALUE, L"1");
  Click(IDC_SET_PROPERTIES);
  EXPECT_TRUE(m_fake->Calls().empty());
  EXPECT_EQ(Text(IDC_RESULT_CODE), L"");
}

struct WriteCase {
  const wchar_t *typed;
  bool written;
  long value; // as the control receives it
};

// A long row: the whole text must be one base-10 number.
const WriteCase kLongWrites[] = {
    {L"12", true, 12},
    {L"   12", true, 12},
    {L"+12", true, 12},
    {L"-1", true, -1},
    {L"", true, 0},
    {L"99999999999", true, 2147483647L},
    {L"-99999999999", true, LONG_MIN},
    {L"12 ", false, 0},
    {L"0x10", false, 0},
    {L"   ", false, 0},
    {L"+", false, 0},
    {L"+-1", false, 0},
    {L"1.5", false, 0},
};

TEST_F(PropertyBrowser, WritingALongRowParsesTheWholeTextOrWritesAndRefreshesNothing) {
  m_dlg->m_nLastReturn = 111;
  Choose(IDC_PROPERTY_LIST, kPowerNotifyRow);
  m_reg.On(kResultCodeId, kGet).Returns(106L);
  for (const WriteCase &c : kLongWrites) {
    SCOPED_TRACE(testing::Message() << "typed \"" << std::string(c.typed, c.typed + wcslen(c.typed)) << "\"");
    SetText(IDC_RESULT_CODE, L"");
    SetText(IDC_RETURN_VALUE, L"");
    SetText(IDC_PROPERTY_VALUE, c.typed);
    m_fake->ClearCalls();
    Click(IDC_SET_PROPERTIES);
    if (!c.written) {
      EXPECT_TRUE(m_fake->Calls().empty());
      EXPECT_EQ(Text(IDC_RESULT_CODE), L"");
      continue;
    }
    const auto puts = m_fake->CallsTo(20, kPut);
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].args[0].vt, VT_I4);
    EXPECT_EQ(puts[0].args[0].value.AsLong(), c.value);
    // The write stores no result; the Result Code field is read anew and the
    // typed text stays.
    EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(111));
    EXPECT_EQ(Text(IDC_RESULT_CODE), Name(106));
    EXPECT_EQ(Text(IDC_PROPERTY_VALUE), c.typed);
  }
}

TEST_F(PropertyBrowser, WritingABooleanRowSendsTrueForAnyNonZeroNumber) {
  const WriteCase kBoolWrites[] = {{L"5", true, -1}, {L"-1", true, -1}, {L"0", true, 0}, {L"", true, 0}};
  Choose(IDC_PROPERTY_LIST, kDecodeDataRow);
  for (const WriteCase &c : kBoolWrites) {
    SCOPED_TRACE(testing::Message() << "typed \"" << std::string(c.typed, c.typed + wcslen(c.typed)) << "\"");
    SetText(IDC_PROPERTY_VALUE, c.typed);
    m_fake->ClearCalls();
    Click(IDC_SET_PROPERTIES);
    const auto puts = m_fake->CallsTo(50, kPut);
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].args[0].vt, VT_BOOL);
    EXPECT_EQ(puts[0].args[0].value.Get().boolVal, c.value ? VARIANT_TRUE : VARIANT_FALSE);
  }
}

TEST_F(PropertyBrowser, AnInvalidCountFieldElsewhereDoesNotStopTheWrite) {
  MessageBoxWatcher boxes;
  SetText(IDC_STATISTICS_COUNT, L"");
  Choose(IDC_PROPERTY_LIST, kPowerNotifyRow);
  SetText(IDC_PROPERTY_VALUE, L"3");
  m_fake->ClearCalls();
  Click(IDC_SET_PROPERTIES);
  const auto puts = m_fake->CallsTo(20, kPut);
  ASSERT_EQ(puts.size(), 1u);
  EXPECT_EQ(puts[0].args[0].value.AsLong(), 3);
}

} // namespace
