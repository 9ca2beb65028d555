// The names the console shows for result codes, scan data types and power
// notifications.
#include "console/result_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Narrow(const CString &s) { return std::string(s.str().begin(), s.str().end()); }

TEST(ResultCodeName, NamesEveryCodeWithItsPadding) {
  const struct {
    long code;
    const wchar_t *name;
  } cases[] = {
      {0, L"OPOS_SUCCESS"},
      {1, L"OPOS_S_CLOSED"},
      {2, L"OPOS_S_IDLE"},
      {3, L"OPOS_S_BUSY"},
      {4, L"OPOS_S_ERROR"},
      {101, L"OPOS_E_CLOSED        "},
      {102, L"OPOS_E_CLAIMED       "},
      {103, L"OPOS_E_NOTCLAIMED    "},
      {104, L"OPOS_E_NOSERVICE     "},
      {105, L"OPOS_E_DISABLED      "},
      {106, L"OPOS_E_ILLEGAL       "},
      {107, L"OPOS_E_NOHARDWARE    "},
      {108, L"OPOS_E_OFFLINE       "},
      {109, L"OPOS_E_NOEXIST       "},
      {110, L"OPOS_E_EXISTS        "},
      {111, L"OPOS_E_FAILURE       "},
      {112, L"OPOS_E_TIMEOUT       "},
      {113, L"OPOS_E_BUSY          "},
      {114, L"OPOS_E_EXTENDED      "},
      {301, L"EOPEN_ALREADYOPEN    "},
      {302, L"EOPEN_REGBADNAME     "},
      {303, L"EOPEN_REGPROGID      "},
      {304, L"EOPEN_CREATE         "},
      {305, L"EOPEN_BADIF          "},
      {306, L"EOPEN_FAILEDOPEN     "},
      {307, L"EOPEN_BADVERSION     "},
      {401, L"EOPENS_NOPORT        "},
      {402, L"EOPENS_NOTSUPPORTED  "},
      {403, L"EOPENS_CONFIG        "},
      {450, L"EOPENS_SPECIFIC      "},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.code);
    const CString name = ResultCodeName(c.code);
    EXPECT_EQ(name, CString(c.name)) << "[" << Narrow(name) << "]";
    EXPECT_EQ(name.GetLength(), c.code <= 4 ? static_cast<int>(wcslen(c.name)) : 21);
  }
}

TEST(ResultCodeName, ShowsAnyOtherNumberInSignedDecimal) {
  const struct {
    long code;
    const wchar_t *text;
  } cases[] = {
      {5, L"5"},
      {100, L"100"},
      {115, L"115"},
      {300, L"300"},
      {308, L"308"},
      {400, L"400"},
      {404, L"404"},
      {449, L"449"},
      {451, L"451"},
      {999, L"999"},
      {-1, L"-1"},
      {-106, L"-106"},
      {2147483647L, L"2147483647"},
      {-2147483647L - 1, L"-2147483648"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(ResultCodeName(c.code), CString(c.text));
  }
}

TEST(ScanDataTypeName, NamesEveryListedTypeWithItsCase) {
  const struct {
    long type;
    const wchar_t *name;
  } cases[] = {
      {101, L"SCAN_SDT_UPCA"},          {102, L"SCAN_SDT_UPCE"},       {103, L"SCAN_SDT_JAN8"},
      {104, L"SCAN_SDT_JAN13"},         {105, L"SCAN_SDT_TF"},         {106, L"SCAN_SDT_ITF"},
      {107, L"SCAN_SDT_Codabar"},       {108, L"SCAN_SDT_Code39"},     {109, L"SCAN_SDT_Code93"},
      {110, L"SCAN_SDT_Code128"},       {111, L"SCAN_SDT_UPCA_S"},     {112, L"SCAN_SDT_UPCE_S"},
      {113, L"SCAN_SDT_UPCD"},          {114, L"SCAN_SDT_UPCD2"},      {115, L"SCAN_SDT_UPCD3"},
      {116, L"SCAN_SDT_UPCD4"},         {117, L"SCAN_SDT_UPCD5"},      {118, L"SCAN_SDT_EAN8_S"},
      {119, L"SCAN_SDT_EAN13_S"},       {120, L"SCAN_SDT_EAN128"},     {121, L"SCAN_SDT_OCRA"},
      {122, L"SCAN_SDT_OCRB"},          {131, L"SCAN_SDT_GS1DATABAR"}, {132, L"SCAN_SDT_GS1DATABAR_E"},
      {140, L"SCAN_SDT_TRIOPTIC39"},    {141, L"SCAN_SDT_ISBT128"},    {201, L"SCAN_SDT_PDF417"},
      {202, L"SCAN_SDT_MAXICODE"},      {203, L"SCAN_SDT_DATAMATRIX"}, {204, L"SCAN_SDT_QRCODE"},
      {205, L"SCAN_SDT_UQRCODE"},       {206, L"SCAN_SDT_AZTEC"},      {207, L"SCAN_SDT_UPDF417"},
      {208, L"SCAN_SDT_GS1DATAMATRIX"}, {209, L"SCAN_SDT_GS1QRCODE"},  {215, L"SCAN_SDT_HANXIN"},
      {216, L"SCAN_SDT_GRIDMATRIX"},    {250, L"SCAN_SDT_AusPost"},    {255, L"SCAN_SDT_JapanPost"},
      {258, L"SCAN_SDT_UkPost"},        {260, L"SCAN_SDT_UsPlanet"},   {261, L"SCAN_SDT_PostNet"},
      {501, L"SCAN_SDT_OTHER"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(ScanDataTypeName(c.type), CString(c.name));
  }
}

TEST(ScanDataTypeName, AnyOtherTypeIsUnknown) {
  for (const long type : {0L,   -5L,  1L,   100L, 123L, 124L, 125L, 126L, 127L, 128L, 129L,
                          130L, 133L, 142L, 200L, 210L, 214L, 217L, 262L, 500L, 502L, 2147483647L}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(ScanDataTypeName(type), CString(L"SCAN_SDT_UNKNOWN"));
  }
}

TEST(PowerStatusText, HasAMessageForTheFourPowerCodesOnly) {
  const struct {
    long status;
    const wchar_t *text; // null: no message
  } cases[] = {
      {2001, L"Device power online"},
      {2002, L"Device power off"},
      {2003, L"Device power offline"},
      {2004, L"Device power off or offline"},
      {2000, nullptr},
      {2005, nullptr},
      {0, nullptr},
      {-2001, nullptr},
      {2101, nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.status);
    const wchar_t *got = PowerStatusText(c.status);
    if (!c.text) {
      EXPECT_EQ(got, nullptr);
    } else {
      ASSERT_NE(got, nullptr);
      EXPECT_STREQ(got, c.text);
    }
  }
}

} // namespace
