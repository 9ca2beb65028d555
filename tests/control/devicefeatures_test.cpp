// Statistics and Direct IO of the simulated full device.
#include "scanner_driver.h"

#include <algorithm>

using namespace quillon::control::test;

namespace {

// Well-formedness checked by the system's own XML parser, not the device's.
bool WellFormed(const std::wstring &xml) {
  ComPtr<IDispatch> doc;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid))) return false;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, doc.PutVoid()))) return false;
  LPOLESTR name = const_cast<LPOLESTR>(L"loadXML");
  DISPID id;
  if (FAILED(doc->GetIDsOfNames(IID_NULL, &name, 1, 0, &id))) return false;
  ScopedBstr text(xml.c_str());
  VARIANT arg;
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = text.Get();
  DISPPARAMS dp{&arg, nullptr, 1, 0};
  ScopedVariant r;
  if (FAILED(doc->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &r, nullptr, nullptr))) return false;
  return V_VT(&r.Get()) == VT_BOOL && V_BOOL(&r.Get()) == VARIANT_TRUE;
}

// The value of statistic `name` in a reply; "?" when it is missing.
std::wstring StatValue(const std::wstring &xml, const std::wstring &name) {
  const size_t at = xml.find(L"<Name>" + name + L"</Name>");
  if (at == std::wstring::npos) return L"?";
  const size_t v = xml.find(L"<Value>", at);
  const size_t e = xml.find(L"</Value>", v);
  return xml.substr(v + 7, e - v - 7);
}

class Statistics : public testing::Test {
protected:
  void SetUp() override {
    s.Ready(kFull);
    ASSERT_EQ(0, s.CallText(ResetStatistics, L""));
  }
  std::wstring Retrieve(const wchar_t *request) {
    std::wstring buffer = request;
    EXPECT_EQ(0, s.CallRef(RetrieveStatistics, buffer));
    EXPECT_TRUE(WellFormed(buffer)) << std::string(buffer.begin(), buffer.end());
    return buffer;
  }
  Scanner s;
};

TEST_F(Statistics, RetrieveSelectsGroupsAndNames) {
  const std::wstring all = Retrieve(L"");
  EXPECT_NE(std::wstring::npos, all.find(L"<DeviceCategory UPOS=\"Scanner\"/>"));
  EXPECT_NE(std::wstring::npos, all.find(L"xmlns=\"http://www.nrf-arts.org/IXRetail/namespace/\""));
  EXPECT_EQ(L"0", StatValue(all, L"GoodScanCount"));
  EXPECT_EQ(L"0", StatValue(all, L"BeepCount"));
  const std::wstring standard = Retrieve(L"U_");
  EXPECT_EQ(std::wstring::npos, standard.find(L"ManufacturerSpecific"));
  EXPECT_EQ(L"0", StatValue(standard, L"HoursPoweredCount"));
  const std::wstring maker = Retrieve(L"M_");
  EXPECT_NE(std::wstring::npos, maker.find(L"<ManufacturerSpecific>"));
  // Of the standard statistics the manufacturer's report repeats GoodScanCount only.
  EXPECT_EQ(L"0", StatValue(maker, L"GoodScanCount"));
  EXPECT_EQ(std::wstring::npos, maker.find(L"HoursPoweredCount"));
  const std::wstring both = Retrieve(L"U_,M_");
  EXPECT_EQ(both.find(L"<Name>GoodScanCount</Name>"), both.rfind(L"<Name>GoodScanCount</Name>")) << "listed once";
  const std::wstring named = Retrieve(L"GoodScanCount, NoSuchStatistic");
  EXPECT_EQ(L"0", StatValue(named, L"GoodScanCount"));
  EXPECT_EQ(L"", StatValue(named, L"NoSuchStatistic"));
  EXPECT_EQ(L"?", StatValue(named, L"BeepCount"));
}

TEST_F(Statistics, GoodScanCountCountsDeliveredLabelsAndFollowsUpdateAndReset) {
  EXPECT_EQ(1, InjectLabel(kFull, 110, "ONE"));
  EXPECT_EQ(1, InjectLabel(kFull, 110, "TWO")); // queued, not delivered
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 1; }));
  EXPECT_EQ(L"1", StatValue(Retrieve(L"GoodScanCount"), L"GoodScanCount"));
  EXPECT_EQ(0, s.CallText(UpdateStatistics, L"GoodScanCount=41"));
  s.PutBool(DataEventEnabled, true);
  ASSERT_TRUE(s.PumpUntil([&] { return s.sink.events.size() == 2; }));
  EXPECT_EQ(L"42", StatValue(Retrieve(L"GoodScanCount"), L"GoodScanCount"));
  EXPECT_EQ(0, s.CallText(UpdateStatistics, L"M_=7"));
  EXPECT_EQ(L"7", StatValue(Retrieve(L"M_"), L"BeepCount"));
  EXPECT_EQ(L"42", StatValue(Retrieve(L"M_"), L"GoodScanCount")) << "M_=7 must not touch GoodScanCount";
  EXPECT_EQ(0, s.CallText(ResetStatistics, L"GoodScanCount"));
  const std::wstring after = Retrieve(L"");
  EXPECT_EQ(L"0", StatValue(after, L"GoodScanCount"));
  EXPECT_EQ(L"7", StatValue(after, L"BeepCount"));
}

std::wstring Lines(std::initializer_list<const wchar_t *> lines) {
  std::wstring out;
  for (const wchar_t *l : lines)
    out += (out.empty() ? L"" : L"\r\n") + std::wstring(l);
  return out;
}

const std::wstring kScannerText = Lines({L"<inArgs>", L" <scannerID>1</scannerID>", L"</inArgs>"});
const std::wstring kAttributeList =
    Lines({L"<inArgs>", L" <scannerID>1</scannerID>", L" <cmdArgs>", L"  <arg-xml>", L"   <attrib_list>1</attrib_list>",
           L"  </arg-xml>", L" </cmdArgs>", L"</inArgs>"});
std::wstring SetText(const wchar_t *id, const wchar_t *type, const wchar_t *value, bool opcode = false) {
  std::wstring out = L"<inArgs>\r\n <scannerID>1</scannerID>\r\n";
  if (opcode) out += L" <opcode>5004</opcode>\r\n";
  return out + L" <cmdArgs>\r\n  <arg-xml>\r\n   <attrib_list>\r\n    <attribute>\r\n     <id>" + id +
         L"</id>\r\n     <datatype>" + type + L"</datatype>\r\n     <value>" + value +
         L"</value>\r\n    </attribute>\r\n   </attrib_list>\r\n  </arg-xml>\r\n </cmdArgs>\r\n</inArgs>";
}

TEST(DirectIO, TheTenCommandsWithTheirDefaultTexts) {
  Scanner s;
  s.Ready(kFull);
  const struct {
    long command;
    std::wstring input;
    long data;
    const wchar_t *replyHas; // nullptr: the text comes back unchanged
  } cases[] = {
      {1, L"", 1, L"<scannerID>1</scannerID>"},
      {5000, kScannerText, 0, L"<opcode>5000</opcode>"},
      {5001, kAttributeList, 0, L"<value>True</value>"},
      {5002, kAttributeList, 0, L"<id>2</id>"},
      {5004, SetText(L"6000", L"X", L"2"), 0, L"<opcode>5004</opcode>"},
      {5005, SetText(L"1", L"F", L"True"), 0, L"<opcode>5005</opcode>"},
      {508, L"", 0, nullptr},
      {502, L"", 0, nullptr},
      {503, L"", 0, L"<power>online</power>"},
      {507, SetText(L"6000", L"X", L"2", true), 0, L"<opcode>5004</opcode>"},
  };
  for (const auto &c : cases) {
    long data = -1;
    std::wstring text = c.input;
    EXPECT_EQ(0, s.DirectIO(c.command, data, text)) << c.command;
    EXPECT_EQ(c.data, data) << c.command;
    if (c.replyHas) {
      EXPECT_NE(std::wstring::npos, text.find(c.replyHas)) << c.command;
      EXPECT_TRUE(WellFormed(text)) << c.command;
    } else {
      EXPECT_EQ(c.input, text) << c.command;
    }
  }
}

TEST(DirectIO, RefusedCommandsLeaveTheArgumentsAlone) {
  Scanner s;
  s.Ready(kFull);
  const struct {
    long command;
    std::wstring input;
  } cases[] = {
      {5003, kAttributeList},
      {9999, L""},
      {5001, L"<inArgs><scannerID>1</scannerID>"},          // unterminated
      {5001, L"<inArgs><scannerID>1</scannerId></inArgs>"}, // mismatched
      {5001, L"<inArgs>&bogus;</inArgs>"},
      {5001, L""},
      {5000, L"<inArgs><scannerID>2</scannerID></inArgs>"}, // no such scanner
      {5001, Lines({L"<inArgs>", L"<scannerID>1</scannerID>", L"<cmdArgs><arg-xml><attrib_list>77777</attrib_list>",
                    L"</arg-xml></cmdArgs></inArgs>"})},
      {5004, SetText(L"1", L"B", L"True")},  // wrong data type
      {5004, SetText(L"140", L"B", L"300")}, // out of range
      {5004, SetText(L"533", L"S", L"X")},   // read-only
      {507, SetText(L"1", L"F", L"True")},   // pass-through without opcode
  };
  for (const auto &c : cases) {
    long data = -1;
    std::wstring text = c.input;
    EXPECT_EQ(106, s.DirectIO(c.command, data, text))
        << c.command << " " << std::string(c.input.begin(), c.input.end());
    EXPECT_EQ(-1, data);
    EXPECT_EQ(c.input, text);
    EXPECT_EQ(106, s.GetLong(ResultCode));
  }
}

std::wstring GetAttribute(Scanner &s, const wchar_t *id) {
  long data = -1;
  std::wstring text = Lines({L"<inArgs><scannerID>1</scannerID><cmdArgs><arg-xml><attrib_list>", id,
                             L"</attrib_list></arg-xml></cmdArgs></inArgs>"});
  EXPECT_EQ(0, s.DirectIO(5001, data, text));
  const size_t v = text.find(L"<value>");
  return v == std::wstring::npos ? L"?" : text.substr(v + 7, text.find(L"</value>") - v - 7);
}

TEST(DirectIO, SetIsVolatileStoreSurvivesReopenAndReset) {
  {
    Scanner s;
    s.Ready(kFull);
    long data = -1;
    std::wstring set = SetText(L"140", L"B", L"7");
    EXPECT_EQ(0, s.DirectIO(5004, data, set));
    EXPECT_EQ(L"7", GetAttribute(s, L"140"));
    std::wstring store = SetText(L"2", L"F", L"False");
    EXPECT_EQ(0, s.DirectIO(5005, data, store));
    std::wstring none;
    EXPECT_EQ(0, s.DirectIO(502, data, none)); // back to the stored settings
    EXPECT_EQ(L"1", GetAttribute(s, L"140"));
    EXPECT_EQ(L"False", GetAttribute(s, L"2"));
    EXPECT_EQ(0, s.Call(ReleaseDevice));
    std::wstring unclaimed = SetText(L"140", L"B", L"9");
    EXPECT_EQ(103, s.DirectIO(5004, data, unclaimed));
  }
  Scanner again;
  again.Ready(kFull);
  EXPECT_EQ(L"False", GetAttribute(again, L"2"));
  long data = -1;
  std::wstring restore = SetText(L"2", L"F", L"True");
  EXPECT_EQ(0, again.DirectIO(5005, data, restore));
}

} // namespace

namespace {

TEST(DemoFeed, DeliversLabelsWhileEnabled) {
  ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\QuillonTestPlain", KEY_WRITE));
  const DWORD interval = 20;
  RegSetValueExW(key.Get(), L"DemoInterval", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&interval), sizeof interval);
  Scanner s;
  s.Ready(kPlain);
  s.sink.rearm = true;
  EXPECT_TRUE(s.PumpUntil([&] { return s.sink.events.size() >= 2; }, 3000));
  const DWORD off = 0;
  RegSetValueExW(key.Get(), L"DemoInterval", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&off), sizeof off);
  key.Close();
  ASSERT_GE(s.sink.events.size(), 2u);
  EXPECT_NE(s.sink.events[0].scanDataType, s.sink.events[1].scanDataType);
}

} // namespace
