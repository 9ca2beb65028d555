// The control's dispatch surface and hosting interfaces, and what the device
// entries make of it. The life cycle's rules are tested on the device core
// itself (native/core_lifecycle_test.cpp).
#include "scanner_driver.h"

#include "control/inject/protocol.h"

using namespace quillon::control::test;

namespace {

// The test devices, for every test of this program (control_tests).
const auto *const kTestDevices = testing::AddGlobalTestEnvironment(new TestDevices);

// Every name's dispatch ID is checked against the published numbers in
// typelib_test.cpp; here, how names are matched.
TEST(Dispatch, NamesMatchIgnoringCaseAndUnknownNamesAreRefused) {
  Scanner s;
  for (const auto &[name, id] :
       {std::pair<const wchar_t *, DISPID>{L"scandatatype", 53}, {L"DEVICEENABLED", 17}, {L"directIO", 36}}) {
    LPOLESTR n = const_cast<LPOLESTR>(name);
    DISPID got = 0;
    EXPECT_EQ(S_OK, s.Dispatch()->GetIDsOfNames(IID_NULL, &n, 1, 0, &got)) << name;
    EXPECT_EQ(id, got) << name;
  }
  for (const wchar_t *name : {L"NoSuchMember", L"ScanDat", L"ScanDataTypes", L""}) {
    LPOLESTR n = const_cast<LPOLESTR>(name);
    DISPID got = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, s.Dispatch()->GetIDsOfNames(IID_NULL, &n, 1, 0, &got)) << name;
    EXPECT_EQ(DISPID_UNKNOWN, got);
  }
}

TEST(Dispatch, UnknownIdsAndWrongKindsAreRefused) {
  Scanner s;
  ScopedVariant r;
  for (DISPID id : {0, 1, 19, 34, 46, 47, 49, 54, 999, -5})
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, s.Invoke(id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &r)) << id;
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = 1;
  for (DISPID readOnly : {State, ResultCode, DataCount, ScanData, Claimed})
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, s.Invoke(readOnly, DISPATCH_PROPERTYPUT, {&v}, nullptr)) << readOnly;
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, s.Invoke(Open, DISPATCH_PROPERTYGET, {}, &r));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, s.Invoke(Open, DISPATCH_METHOD, {}, &r));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, s.Invoke(ClaimDevice, DISPATCH_METHOD, {&v, &v}, &r));
}

TEST(Dispatch, WrongArgumentTypesAreCoercedOrRefused) {
  Scanner s;
  ScopedVariant r;
  VARIANT v;
  V_VT(&v) = VT_NULL;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, s.Invoke(Open, DISPATCH_METHOD, {&v}, &r));
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = nullptr; // a null BSTR is the empty string: no such device
  EXPECT_EQ(S_OK, s.Invoke(Open, DISPATCH_METHOD, {&v}, &r));
  EXPECT_EQ(109, V_I4(&r.Get()));
  ASSERT_EQ(0, s.CallText(Open, kFull));
  ScopedBstr text(L"not a number"), number(L"250");
  V_BSTR(&v) = text.Get();
  EXPECT_EQ(DISP_E_TYPEMISMATCH, s.Invoke(ClaimDevice, DISPATCH_METHOD, {&v}, &r));
  V_BSTR(&v) = number.Get();
  r.Clear();
  EXPECT_EQ(S_OK, s.Invoke(ClaimDevice, DISPATCH_METHOD, {&v}, &r));
  EXPECT_EQ(0, V_I4(&r.Get()));
  // A boolean written as any non-zero integer is true, and reads back as VARIANT_TRUE.
  s.Put(AutoDisable, 5);
  EXPECT_TRUE(s.GetBool(AutoDisable));
  s.Put(AutoDisable, 0);
  EXPECT_FALSE(s.GetBool(AutoDisable));
}

TEST(Dispatch, HugeStringsAreAnsweredWithoutHarm) {
  Scanner s;
  const std::wstring huge(1 << 20, L'Q');
  EXPECT_EQ(109, s.CallText(Open, huge.c_str()));
  EXPECT_EQ(109, s.CallText(Open, L"QuillonTestFull\\..\\QuillonTestFull"));
  ASSERT_EQ(0, s.CallText(Open, kFull));
  ASSERT_EQ(0, s.Call(ClaimDevice, 0));
  std::wstring buffer = huge;
  EXPECT_EQ(0, s.CallRef(RetrieveStatistics, buffer)); // one unknown statistic, empty value
  EXPECT_NE(std::wstring::npos, buffer.find(L"<Value></Value>"));
  EXPECT_EQ(106, s.CallText(UpdateStatistics, huge.c_str()));
  long data = -1;
  std::wstring xml = L"<inArgs>" + huge + L"</inArgs>";
  EXPECT_EQ(106, s.DirectIO(5001, data, xml));
  EXPECT_EQ(-1, data);
}

TEST(Dispatch, MalformedCallsAreRefusedNotFollowed) {
  Scanner s;
  VARIANT v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = VARIANT_TRUE;
  DISPPARAMS put{&v, nullptr, 1, 1}; // one named argument, but no array of them
  EXPECT_EQ(E_INVALIDARG,
            s.Dispatch()->Invoke(DeviceEnabled, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr));
  DISPPARAMS none{};
  ScopedVariant r;
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
            s.Dispatch()->Invoke(State, IID_IUnknown, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
  EXPECT_EQ(S_OK, s.Dispatch()->Invoke(State, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
}

TEST(Lifecycle, CheckHealthTextNamesLevelAndOutcome) {
  Scanner s;
  s.Ready(kFull);
  EXPECT_EQ(L"", s.GetString(CheckHealthText));
  const std::pair<long, const wchar_t *> levels[] = {
      {1, L"Internal HCheck: Successful"}, {2, L"External HCheck: Successful"}, {3, L"Interactive HCheck: Complete"}};
  for (const auto &[level, text] : levels) {
    EXPECT_EQ(0, s.Call(CheckHealth, level));
    EXPECT_EQ(text, s.GetString(CheckHealthText));
  }
  InjectNumbers(kFull, quillon::inject::Power, 2003);
  EXPECT_EQ(0, s.Call(CheckHealth, 2));
  EXPECT_EQ(L"External HCheck: Not Responding", s.GetString(CheckHealthText));
}

TEST(Lifecycle, CapabilitiesOfTheTwoDevices) {
  Scanner full, plain;
  ASSERT_EQ(0, full.CallText(Open, kFull));
  ASSERT_EQ(0, plain.CallText(Open, kPlain));
  EXPECT_EQ(2, full.GetLong(CapPowerReporting));
  EXPECT_TRUE(full.GetBool(CapStatisticsReporting));
  EXPECT_TRUE(full.GetBool(CapUpdateStatistics));
  EXPECT_EQ(0, plain.GetLong(CapPowerReporting));
  EXPECT_FALSE(plain.GetBool(CapStatisticsReporting));
  EXPECT_FALSE(plain.GetBool(CapUpdateStatistics));
  plain.Put(PowerNotify, 1);
  EXPECT_EQ(106, plain.GetLong(ResultCode));
  ASSERT_EQ(0, plain.Call(ClaimDevice, 0));
  std::wstring buffer = L"M_";
  EXPECT_EQ(106, plain.CallRef(RetrieveStatistics, buffer));
  EXPECT_EQ(L"M_", buffer);
  long data = -1;
  std::wstring text;
  EXPECT_EQ(106, plain.DirectIO(1, data, text));
}

TEST(Lifecycle, InjectedFaultFailsTheNextCallOnly) {
  Scanner s;
  s.Ready(kFull);
  InjectNumbers(kFull, quillon::inject::FailNext, 114, 281);
  EXPECT_EQ(114, s.Call(CheckHealth, 1));
  EXPECT_EQ(281, s.GetLong(ResultCodeExtended));
  EXPECT_EQ(0, s.Call(CheckHealth, 1));
  EXPECT_EQ(0, s.GetLong(ResultCodeExtended));
  InjectNumbers(kFull, quillon::inject::LongStrings, 100000);
  EXPECT_GE(s.GetString(DeviceDescription).size(), 100000u);
  EXPECT_EQ(0, s.Call(CheckHealth, 1));
  EXPECT_GE(s.GetString(CheckHealthText).size(), 100000u);
}

TEST(Hosting, ContainerSequenceWithInitialStateStream) {
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.PutVoid()));
  DWORD misc = 0;
  EXPECT_EQ(S_OK, object->GetMiscStatus(DVASPECT_CONTENT, &misc));
  EXPECT_TRUE(misc & OLEMISC_INVISIBLEATRUNTIME);
  EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, object.As(persist));
  const DWORD words[4] = {0, 2304, 926, 1164};
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
  ASSERT_EQ(S_OK, stream->Write(words, sizeof words, nullptr));
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(S_OK, persist->Load(stream.Get()));
  SIZEL extent{};
  EXPECT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &extent));
  EXPECT_EQ(926, extent.cx);
  EXPECT_EQ(1164, extent.cy);
  EXPECT_EQ(S_OK, object->SetHostNames(L"Test", nullptr));
  HWND parent =
      CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, parent);
  const RECT rc{10, 10, 42, 42};
  EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent, &rc));
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, object.As(inPlace));
  HWND child = nullptr;
  EXPECT_EQ(S_OK, inPlace->GetWindow(&child));
  EXPECT_EQ(parent, GetParent(child));
  EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
  ComPtr<IViewObject> view;
  EXPECT_EQ(E_NOINTERFACE, object.As(view));
  DestroyWindow(parent);
}

} // namespace
