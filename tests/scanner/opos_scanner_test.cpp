// The scanner wrapper against the recording fake control, hosted for real by
// the framework's container in a top-level window.
#include "scanner/opos_scanner.h"

#include "support/bstr_leak_check.h"
#include "support/fake_scanner.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring &w) { return std::string(w.begin(), w.end()); }

std::wstring Describe(const VariantValue &v) { return L"vt=" + std::to_wstring(v.vt()) + L" value=" + v.AsString(); }

bool SameValue(const VariantValue &a, const VariantValue &b) {
  if (a.vt() != b.vt()) return false;
  if (a.vt() == VT_BSTR) return a.AsString() == b.AsString();
  return a.AsLong() == b.AsLong();
}

class ScannerWrapperTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(m_reg.Result(), S_OK);
    m_parent = CreateWindowExW(0, L"STATIC", L"scanner wrapper test", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(m_parent, nullptr);
    m_parentWnd.Attach(m_parent);
    const RECT rc{8, 8, 40, 40};
    m_scanner.Create(L"", WS_CHILD | WS_VISIBLE, rc, &m_parentWnd, 1001);
    ASSERT_EQ(m_reg.Instances().size(), 1u);
    m_fake = m_reg.Last();
    m_fake->ClearCalls();
  }
  void TearDown() override {
    m_parentWnd.Detach();
    if (m_parent) DestroyWindow(m_parent);
  }

  // The one call the last accessor made.
  RecordedCall OnlyCall() const {
    EXPECT_EQ(m_fake->Calls().size(), 1u);
    return m_fake->Calls().empty() ? RecordedCall{} : m_fake->Calls().back();
  }

  FakeScannerRegistration m_reg;
  HWND m_parent = nullptr;
  CWnd m_parentWnd;
  COPOSScanner m_scanner;
  FakeScanner *m_fake = nullptr;
};

// --------------------------------------------------------------------------
// Every accessor: dispatch ID, invocation kind, argument types and values,
// and how the control's answer comes back.

enum class Result { Long, Bool, String, None };

struct ExpectedArg {
  VARTYPE vt;
  VariantValue value;
};

struct AccessorCase {
  const char *accessor;
  const wchar_t *oposName;
  DISPID dispid;
  WORD kind;
  Result result;
  std::vector<ExpectedArg> args;
  // Makes the call; returns the accessor's result as a variant (VT_I4 or
  // VT_BSTR; VT_EMPTY for a write).
  std::function<VariantValue(COPOSScanner &)> call;
};

const WORD M = DISPATCH_METHOD, G = DISPATCH_PROPERTYGET, P = DISPATCH_PROPERTYPUT;

ExpectedArg L4(long l) { return {VT_I4, VariantValue::Long(l)}; }
ExpectedArg B(bool b) { return {VT_BOOL, VariantValue::Bool(b)}; }
ExpectedArg S(const wchar_t *s) { return {VT_BSTR, VariantValue::String(s)}; }
ExpectedArg LRef(long l) { return {VT_BYREF | VT_I4, VariantValue::Long(l)}; }
ExpectedArg SRef(const wchar_t *s) { return {VT_BYREF | VT_BSTR, VariantValue::String(s)}; }

template <class F> std::function<VariantValue(COPOSScanner &)> Long(F f) {
  return [f](COPOSScanner &s) { return VariantValue::Long(f(s)); };
}
template <class F> std::function<VariantValue(COPOSScanner &)> Text(F f) {
  return [f](COPOSScanner &s) { return VariantValue::String(CString(f(s)).GetString()); };
}
template <class F> std::function<VariantValue(COPOSScanner &)> Write(F f) {
  return [f](COPOSScanner &s) {
    f(s);
    return VariantValue();
  };
}

const std::vector<AccessorCase> &AccessorCases() {
  static const std::vector<AccessorCase> cases = {
      // Methods
      {"CheckHealth", L"CheckHealth", 31, M, Result::Long, {L4(2)}, Long([](COPOSScanner &s) {
         return s.CheckHealth(2);
       })},
      {"ClaimDevice", L"ClaimDevice", 32, M, Result::Long, {L4(6000)}, Long([](COPOSScanner &s) {
         return s.ClaimDevice(6000);
       })},
      {"ClearInput", L"ClearInput", 33, M, Result::Long, {}, Long([](COPOSScanner &s) { return s.ClearInput(); })},
      {"Close", L"Close", 35, M, Result::Long, {}, Long([](COPOSScanner &s) { return s.Close(); })},
      {"DirectIO", L"DirectIO", 36, M, Result::Long, {L4(-3), LRef(17), SRef(L"<in/>")}, Long([](COPOSScanner &s) {
         long data = 17;
         BSTR text = SysAllocString(L"<in/>");
         const long r = s.DirectIO(-3, &data, &text);
         SysFreeString(text);
         return r;
       })},
      {"Open", L"Open", 37, M, Result::Long, {S(L"Scanner A")}, Long([](COPOSScanner &s) {
         return s.Open(L"Scanner A");
       })},
      {"ReleaseDevice", L"ReleaseDevice", 38, M, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.ReleaseDevice();
       })},
      {"ResetStatistics", L"ResetStatistics", 41, M, Result::Long, {S(L"GoodScanCount")}, Long([](COPOSScanner &s) {
         return s.ResetStatistics(L"GoodScanCount");
       })},
      {"RetrieveStatistics", L"RetrieveStatistics", 42, M, Result::Long, {SRef(L"M_")}, Long([](COPOSScanner &s) {
         BSTR buffer = SysAllocString(L"M_");
         const long r = s.RetrieveStatistics(&buffer);
         SysFreeString(buffer);
         return r;
       })},
      {"UpdateStatistics", L"UpdateStatistics", 43, M, Result::Long, {S(L"GoodScanCount=5")}, Long([](COPOSScanner &s) {
         return s.UpdateStatistics(L"GoodScanCount=5");
       })},
      {"ClearInputProperties", L"ClearInputProperties", 48, M, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.ClearInputProperties();
       })},
      // Reads
      {"GetAutoDisable", L"AutoDisable", 10, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetAutoDisable();
       })},
      {"GetBinaryConversion", L"BinaryConversion", 11, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetBinaryConversion();
       })},
      {"GetCapPowerReporting", L"CapPowerReporting", 12, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetCapPowerReporting();
       })},
      {"GetCheckHealthText", L"CheckHealthText", 13, G, Result::String, {}, Text([](COPOSScanner &s) {
         return s.GetCheckHealthText();
       })},
      {"GetClaimed", L"Claimed", 14, G, Result::Bool, {}, Long([](COPOSScanner &s) { return s.GetClaimed(); })},
      {"GetDataCount", L"DataCount", 15, G, Result::Long, {}, Long([](COPOSScanner &s) { return s.GetDataCount(); })},
      {"GetDataEventEnabled", L"DataEventEnabled", 16, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetDataEventEnabled();
       })},
      {"GetDeviceEnabled", L"DeviceEnabled", 17, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetDeviceEnabled();
       })},
      {"GetFreezeEvents", L"FreezeEvents", 18, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetFreezeEvents();
       })},
      {"GetPowerNotify", L"PowerNotify", 20, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetPowerNotify();
       })},
      {"GetPowerState", L"PowerState", 21, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetPowerState();
       })},
      {"GetResultCode", L"ResultCode", 22, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetResultCode();
       })},
      {"GetResultCodeExtended", L"ResultCodeExtended", 23, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetResultCodeExtended();
       })},
      {"GetState", L"State", 24, G, Result::Long, {}, Long([](COPOSScanner &s) { return s.GetState(); })},
      {"GetControlObjectDescription", L"ControlObjectDescription", 25, G, Result::String, {}, Text([](COPOSScanner &s) {
         return s.GetControlObjectDescription();
       })},
      {"GetControlObjectVersion", L"ControlObjectVersion", 26, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetControlObjectVersion();
       })},
      {"GetServiceObjectDescription", L"ServiceObjectDescription", 27, G, Result::String, {}, Text([](COPOSScanner &s) {
         return s.GetServiceObjectDescription();
       })},
      {"GetServiceObjectVersion", L"ServiceObjectVersion", 28, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetServiceObjectVersion();
       })},
      {"GetDeviceDescription", L"DeviceDescription", 29, G, Result::String, {}, Text([](COPOSScanner &s) {
         return s.GetDeviceDescription();
       })},
      {"GetDeviceName", L"DeviceName", 30, G, Result::String, {}, Text([](COPOSScanner &s) {
         return s.GetDeviceName();
       })},
      {"GetCapStatisticsReporting", L"CapStatisticsReporting", 39, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetCapStatisticsReporting();
       })},
      {"GetCapUpdateStatistics", L"CapUpdateStatistics", 40, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetCapUpdateStatistics();
       })},
      {"GetCapCompareFirmwareVersion", L"CapCompareFirmwareVersion", 44, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetCapCompareFirmwareVersion();
       })},
      {"GetCapUpdateFirmware", L"CapUpdateFirmware", 45, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetCapUpdateFirmware();
       })},
      {"GetDecodeData", L"DecodeData", 50, G, Result::Bool, {}, Long([](COPOSScanner &s) {
         return s.GetDecodeData();
       })},
      {"GetScanData", L"ScanData", 51, G, Result::String, {}, Text([](COPOSScanner &s) { return s.GetScanData(); })},
      {"GetScanDataLabel", L"ScanDataLabel", 52, G, Result::String, {}, Text([](COPOSScanner &s) {
         return s.GetScanDataLabel();
       })},
      {"GetScanDataType", L"ScanDataType", 53, G, Result::Long, {}, Long([](COPOSScanner &s) {
         return s.GetScanDataType();
       })},
      // Writes
      {"SetAutoDisable", L"AutoDisable", 10, P, Result::None, {B(true)}, Write([](COPOSScanner &s) {
         s.SetAutoDisable(1);
       })},
      {"SetBinaryConversion", L"BinaryConversion", 11, P, Result::None, {L4(2)}, Write([](COPOSScanner &s) {
         s.SetBinaryConversion(2);
       })},
      {"SetDataEventEnabled", L"DataEventEnabled", 16, P, Result::None, {B(true)}, Write([](COPOSScanner &s) {
         s.SetDataEventEnabled(1);
       })},
      {"SetDeviceEnabled", L"DeviceEnabled", 17, P, Result::None, {B(false)}, Write([](COPOSScanner &s) {
         s.SetDeviceEnabled(0);
       })},
      {"SetFreezeEvents", L"FreezeEvents", 18, P, Result::None, {B(true)}, Write([](COPOSScanner &s) {
         s.SetFreezeEvents(1);
       })},
      {"SetPowerNotify", L"PowerNotify", 20, P, Result::None, {L4(1)}, Write([](COPOSScanner &s) {
         s.SetPowerNotify(1);
       })},
      {"SetDecodeData", L"DecodeData", 50, P, Result::None, {B(true)}, Write([](COPOSScanner &s) {
         s.SetDecodeData(1);
       })},
  };
  return cases;
}

TEST_F(ScannerWrapperTest, EveryAccessorMakesOneCallWithItsDispatchIdKindAndTypes) {
  const auto &cases = AccessorCases();
  ASSERT_EQ(cases.size(), 11u + 28u + 7u);
  for (const AccessorCase &c : cases) {
    SCOPED_TRACE(c.accessor);
    m_fake->ClearCalls();
    // An answer in the type asked for, distinct per dispatch ID, so a result
    // read from the wrong member or coerced wrongly shows.
    VariantValue expected;
    switch (c.result) {
    case Result::Long:
      m_fake->On(c.dispid).Returns(-1000 - c.dispid);
      expected = VariantValue::Long(-1000 - c.dispid);
      break;
    case Result::Bool:
      m_fake->On(c.dispid).ReturnsBool(true);
      expected = VariantValue::Long(1);
      break;
    case Result::String: {
      const std::wstring text = L"text of " + std::to_wstring(c.dispid);
      m_fake->On(c.dispid).Returns(text.c_str());
      expected = VariantValue::String(text.c_str());
      break;
    }
    case Result::None:
      m_fake->Answers().Clear();
      break;
    }

    const VariantValue got = c.call(m_scanner);
    EXPECT_TRUE(SameValue(got, expected)) << Narrow(Describe(got)) << " expected " << Narrow(Describe(expected));

    const RecordedCall call = OnlyCall();
    EXPECT_EQ(call.dispid, c.dispid);
    EXPECT_EQ(call.flags, c.kind);
    EXPECT_EQ(call.wantsResult, c.kind != P);
    if (c.kind == P)
      EXPECT_EQ(call.namedArgs, std::vector<DISPID>{DISPID_PROPERTYPUT});
    else
      EXPECT_TRUE(call.namedArgs.empty());
    ASSERT_EQ(call.args.size(), c.args.size());
    for (size_t i = 0; i < c.args.size(); ++i) {
      SCOPED_TRACE("argument " + std::to_string(i + 1));
      EXPECT_EQ(call.args[i].vt, c.args[i].vt);
      EXPECT_TRUE(SameValue(call.args[i].value, c.args[i].value))
          << Narrow(Describe(call.args[i].value)) << " expected " << Narrow(Describe(c.args[i].value));
    }
    m_fake->Answers().Clear();
  }
}

TEST_F(ScannerWrapperTest, AFailingCallThrowsWithTheOperationNameAndTheControlsDescription) {
  for (const AccessorCase &c : AccessorCases()) {
    SCOPED_TRACE(c.accessor);
    m_fake->On(c.dispid).Raises(L"the device is on fire");
    try {
      c.call(m_scanner);
      ADD_FAILURE() << "no exception";
    } catch (const CDispatchException &e) {
      EXPECT_EQ(e.m_hr, DISP_E_EXCEPTION);
      EXPECT_EQ(e.m_strDescription, CString(L"the device is on fire"));
      const std::wstring operation = e.m_strOperation.str();
      EXPECT_EQ(operation.rfind(c.oposName, 0), 0u) << Narrow(operation);
      EXPECT_NE(operation.find(std::to_wstring(c.dispid)), std::wstring::npos) << Narrow(operation);
    }
    m_fake->Answers().Clear();
  }
}

TEST_F(ScannerWrapperTest, AFailingHresultWithoutExceptionInfoIsReportedWithTheSystemText) {
  m_fake->On(37).Fails(E_ACCESSDENIED);
  try {
    m_scanner.Open(L"Scanner A");
    FAIL() << "no exception";
  } catch (const CDispatchException &e) {
    EXPECT_EQ(e.m_hr, E_ACCESSDENIED);
    EXPECT_FALSE(e.m_strDescription.IsEmpty());
    EXPECT_NE(e.m_strOperation.str().find(L"Open"), std::wstring::npos);
  }
}

TEST_F(ScannerWrapperTest, AnExceptionCarryingOnlyTheControlsOwnErrorCodeIsReportedWithThatCode) {
  m_fake->On(37).RaisesCode(4711); // EXCEPINFO: wCode 4711, scode 0, no description
  try {
    m_scanner.Open(L"Scanner A");
    FAIL() << "no exception";
  } catch (const CDispatchException &e) {
    EXPECT_EQ(e.m_hr, DISP_E_EXCEPTION);
    EXPECT_NE(e.m_strDescription.str().find(L"4711"), std::wstring::npos) << Narrow(e.m_strDescription.str());
  }
}

TEST_F(ScannerWrapperTest, AWrapperWithoutAControlThrowsInsteadOfCrashing) {
  COPOSScanner detached;
  EXPECT_THROW(detached.GetResultCode(), CDispatchException);
  EXPECT_THROW(detached.SetDeviceEnabled(1), CDispatchException);
}

// --------------------------------------------------------------------------
// Booleans: exactly 0 or 1 back, VARIANT_TRUE out for any non-zero value.

struct BoolRead {
  const char *name;
  DISPID dispid;
  long (COPOSScanner::*get)();
};
const BoolRead kBoolReads[] = {
    {"AutoDisable", 10, &COPOSScanner::GetAutoDisable},
    {"Claimed", 14, &COPOSScanner::GetClaimed},
    {"DataEventEnabled", 16, &COPOSScanner::GetDataEventEnabled},
    {"DeviceEnabled", 17, &COPOSScanner::GetDeviceEnabled},
    {"FreezeEvents", 18, &COPOSScanner::GetFreezeEvents},
    {"CapStatisticsReporting", 39, &COPOSScanner::GetCapStatisticsReporting},
    {"CapUpdateStatistics", 40, &COPOSScanner::GetCapUpdateStatistics},
    {"CapCompareFirmwareVersion", 44, &COPOSScanner::GetCapCompareFirmwareVersion},
    {"CapUpdateFirmware", 45, &COPOSScanner::GetCapUpdateFirmware},
    {"DecodeData", 50, &COPOSScanner::GetDecodeData},
};

TEST_F(ScannerWrapperTest, BooleanReadsComeBackAsExactlyZeroOrOne) {
  const struct {
    VariantValue answer;
    long expected;
  } answers[] = {
      {VariantValue::Bool(true), 1}, {VariantValue::Bool(false), 0}, {VariantValue::Long(1), 1},
      {VariantValue::Long(-1), 1},   {VariantValue::Long(42), 1},    {VariantValue::Long(0), 0},
      {VariantValue::Short(-1), 1},  {VariantValue::Short(0), 0},
  };
  for (const BoolRead &r : kBoolReads) {
    for (const auto &a : answers) {
      SCOPED_TRACE(std::string(r.name) + " answered " + Narrow(Describe(a.answer)));
      m_fake->On(r.dispid).Returns(a.answer);
      EXPECT_EQ((m_scanner.*r.get)(), a.expected);
    }
  }
}

TEST_F(ScannerWrapperTest, BooleanWritesSendVariantTrueForAnyNonZeroValue) {
  const struct {
    const char *name;
    DISPID dispid;
    void (COPOSScanner::*set)(long);
  } writes[] = {
      {"AutoDisable", 10, &COPOSScanner::SetAutoDisable},
      {"DataEventEnabled", 16, &COPOSScanner::SetDataEventEnabled},
      {"DeviceEnabled", 17, &COPOSScanner::SetDeviceEnabled},
      {"FreezeEvents", 18, &COPOSScanner::SetFreezeEvents},
      {"DecodeData", 50, &COPOSScanner::SetDecodeData},
  };
  // 0x10000 and LONG_MIN have no bits in the low 16: a narrowing would lose them.
  const long values[] = {1, -1, 2, 0x10000, LONG_MIN, LONG_MAX, 0};
  for (const auto &w : writes) {
    for (const long value : values) {
      SCOPED_TRACE(std::string(w.name) + " = " + std::to_string(value));
      m_fake->ClearCalls();
      (m_scanner.*w.set)(value);
      const RecordedCall call = OnlyCall();
      ASSERT_EQ(call.args.size(), 1u);
      EXPECT_EQ(call.args[0].vt, VT_BOOL);
      EXPECT_EQ(call.args[0].value.Get().boolVal, value ? VARIANT_TRUE : VARIANT_FALSE);
    }
  }
}

TEST_F(ScannerWrapperTest, LongWritesSendTheValueUnchanged) {
  for (const long value : {0L, 1L, 2L, -1L, 0x10000L, LONG_MIN}) {
    SCOPED_TRACE(value);
    m_fake->ClearCalls();
    m_scanner.SetBinaryConversion(value);
    m_scanner.SetPowerNotify(value);
    ASSERT_EQ(m_fake->Calls().size(), 2u);
    for (const RecordedCall &call : m_fake->Calls()) {
      ASSERT_EQ(call.args.size(), 1u);
      EXPECT_EQ(call.args[0].vt, VT_I4);
      EXPECT_EQ(call.args[0].value.Get().lVal, value);
    }
  }
}

TEST_F(ScannerWrapperTest, AWrittenBooleanReadsBackAsOne) {
  m_scanner.SetDeviceEnabled(7);
  EXPECT_EQ(m_scanner.GetDeviceEnabled(), 1);
  m_scanner.SetDeviceEnabled(0);
  EXPECT_EQ(m_scanner.GetDeviceEnabled(), 0);
}

// --------------------------------------------------------------------------
// Answers in a neighbouring type are coerced to the type asked for.

TEST_F(ScannerWrapperTest, AnswersAreCoercedToTheTypeAskedFor) {
  const struct {
    const char *what;
    VariantValue answer;
    long expected;
  } longs[] = {
      {"VT_I2", VariantValue::Short(-3), -3},  {"VT_BSTR number", VariantValue::String(L"114"), 114},
      {"VT_R8", VariantValue::Double(2.0), 2}, {"VT_BOOL true", VariantValue::Bool(true), -1},
      {"VT_EMPTY", VariantValue(), 0},
  };
  for (const auto &c : longs) {
    SCOPED_TRACE(c.what);
    m_fake->On(22).Returns(c.answer);
    if (c.answer.IsEmpty()) m_fake->Answers().Clear();
    EXPECT_EQ(m_scanner.GetResultCode(), c.expected);
  }

  m_fake->On(51).Returns(VariantValue::Long(12345));
  EXPECT_EQ(m_scanner.GetScanData(), CString(L"12345"));
  m_fake->Answers().Clear();
  EXPECT_EQ(m_scanner.GetScanDataLabel(), CString(L"")); // never written: VT_EMPTY

  m_fake->On(37).Returns(VariantValue::Short(106));
  EXPECT_EQ(m_scanner.Open(L"x"), 106);
}

TEST_F(ScannerWrapperTest, AnAnswerThatCannotBeCoercedIsAFailedCallNotAZero) {
  m_fake->On(22).Returns(L"not a number");
  EXPECT_THROW(m_scanner.GetResultCode(), CDispatchException);
  m_fake->On(17).Returns(L"maybe");
  EXPECT_THROW(m_scanner.GetDeviceEnabled(), CDispatchException);
}

// --------------------------------------------------------------------------
// By-reference arguments: the control's replacement reaches the caller, and
// every string is released exactly once.

TEST_F(ScannerWrapperTest, DirectIOReturnsTheControlsReplacementsThroughItsArguments) {
  m_fake->On(36).Returns(0).ReplacesLong(99).ReplacesString(L"<reply>ok</reply>");
  BstrLeakCheck check;
  ASSERT_TRUE(check.Active());
  long data = 5;
  BSTR text = SysAllocString(L"<DirectIO/>");
  EXPECT_EQ(m_scanner.DirectIO(4, &data, &text), 0);
  EXPECT_EQ(data, 99);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::wstring(text, SysStringLen(text)), L"<reply>ok</reply>");

  const RecordedCall &call = m_fake->Calls().back();
  ASSERT_EQ(call.args.size(), 3u);
  EXPECT_EQ(call.args[0].value.AsLong(), 4);
  EXPECT_EQ(call.args[1].value.AsLong(), 5);
  EXPECT_EQ(call.args[2].value.AsString(), L"<DirectIO/>");

  EXPECT_EQ(check.HandedOut(), 1);
  EXPECT_TRUE(check.IsLive(text));
  SysFreeString(text);
  EXPECT_EQ(check.HandedOutNotFreed(), 0);
  EXPECT_EQ(check.Outstanding(), 0);
  EXPECT_EQ(check.DoubleFrees(), 0);
}

TEST_F(ScannerWrapperTest, RetrieveStatisticsReturnsTheControlsBuffer) {
  const wchar_t *reply = L"<?xml version=\"1.0\"?><UPOSStat/>";
  m_fake->On(42).Returns(0).ReplacesString(reply);
  BstrLeakCheck check;
  BSTR buffer = SysAllocString(L"M_");
  EXPECT_EQ(m_scanner.RetrieveStatistics(&buffer), 0);
  EXPECT_EQ(std::wstring(buffer, SysStringLen(buffer)), reply);
  EXPECT_EQ(m_fake->Calls().back().args[0].value.AsString(), L"M_");
  SysFreeString(buffer);
  EXPECT_EQ(check.Outstanding(), 0);
  EXPECT_EQ(check.DoubleFrees(), 0);
}

TEST_F(ScannerWrapperTest, AByReferenceStringTheControlLeavesAloneStaysTheCallersOwn) {
  BstrLeakCheck check;
  long data = 5;
  BSTR text = SysAllocString(L"keep");
  const BSTR before = text;
  EXPECT_EQ(m_scanner.DirectIO(1, &data, &text), 0);
  EXPECT_EQ(text, before);
  EXPECT_EQ(data, 5);
  EXPECT_EQ(check.Outstanding(), 1); // the caller's string, still the caller's
  SysFreeString(text);
  EXPECT_EQ(check.Outstanding(), 0);
}

TEST_F(ScannerWrapperTest, NoStringIsLeftBehindOnAnyPathOfACall) {
  const struct {
    const char *what;
    std::function<void(FakeScanner &)> program;
    std::function<void(COPOSScanner &)> call;
  } paths[] = {
      {"string result", [](FakeScanner &f) { f.On(51).Returns(L"0123456789012"); },
       [](COPOSScanner &s) { EXPECT_EQ(s.GetScanData(), CString(L"0123456789012")); }},
      {"string argument", [](FakeScanner &f) { f.On(37).Returns(0); }, [](COPOSScanner &s) { s.Open(L"Scanner A"); }},
      {"string argument, call raises", [](FakeScanner &f) { f.On(37).Raises(L"no such device"); },
       [](COPOSScanner &s) { EXPECT_THROW(s.Open(L"Scanner A"), CDispatchException); }},
      {"string argument, call fails", [](FakeScanner &f) { f.On(43).Fails(E_FAIL); },
       [](COPOSScanner &s) { EXPECT_THROW(s.UpdateStatistics(L"GoodScanCount=1"), CDispatchException); }},
      {"string result that cannot be coerced", [](FakeScanner &f) { f.On(22).Returns(L"x"); },
       [](COPOSScanner &s) { EXPECT_THROW(s.GetResultCode(), CDispatchException); }},
  };
  for (const auto &p : paths) {
    SCOPED_TRACE(p.what);
    m_fake->Answers().Clear();
    p.program(*m_fake);
    BstrLeakCheck check;
    ASSERT_TRUE(check.Active());
    p.call(m_scanner);
    EXPECT_EQ(check.Outstanding(), 0);
    EXPECT_EQ(check.HandedOutNotFreed(), 0);
    EXPECT_EQ(check.DoubleFrees(), 0);
  }
}

// --------------------------------------------------------------------------
// Creation

TEST_F(ScannerWrapperTest, CreateHostsTheControlOfTheOposScannerClassAndConnectsItsEvents) {
  CLSID expected{};
  ASSERT_EQ(CLSIDFromString(const_cast<LPOLESTR>(L"{CCB90182-B81E-11D2-AB74-0040054C3719}"), &expected), S_OK);
  EXPECT_TRUE(IsEqualCLSID(CLSID_OPOSScanner, expected));
  EXPECT_EQ(GetDlgCtrlID(m_scanner.m_hWnd), 1001);
  EXPECT_EQ(GetParent(m_scanner.m_hWnd), m_parent);
  EXPECT_EQ(m_fake->SinkCount(), 1u);
}

TEST(ScannerWrapperCreation, IsDynamicallyCreatableByItsClassName) {
  const CRuntimeClass *rc = CRuntimeClass::FromName(L"COPOSScanner");
  ASSERT_NE(rc, nullptr);
  std::unique_ptr<CWnd> object = rc->CreateObject();
  ASSERT_NE(dynamic_cast<COPOSScanner *>(object.get()), nullptr);
  EXPECT_EQ(object->m_hWnd, nullptr);
}

} // namespace
