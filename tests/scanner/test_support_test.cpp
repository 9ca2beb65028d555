// The test support itself: later tests prove leaks, events and message boxes
// with it, so it must notice the faults it is meant to notice.
#include "support/bstr_leak_check.h"
#include "support/fake_scanner.h"
#include "support/message_box_watcher.h"
#include "support/message_pump.h"
#include "support/windows_queue_bits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A by-hand Invoke, so these tests do not depend on the framework.
HRESULT Call(IDispatch *p, DISPID dispid, WORD flags, std::vector<VariantValue> args, VARIANT *result = nullptr) {
  std::vector<VARIANT> rgvarg;
  for (auto it = args.rbegin(); it != args.rend(); ++it)
    rgvarg.push_back(it->Get());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO excep{};
  const HRESULT hr = p->Invoke(dispid, IID_NULL, 0, flags, &params, result, &excep, nullptr);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

long GetLong(IDispatch *p, DISPID dispid) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(Call(p, dispid, DISPATCH_PROPERTYGET, {}, &v), S_OK);
  const long l = VariantValue(v).AsLong();
  VariantClear(&v);
  return l;
}

TEST(BstrLeakCheck, CountsStringsThatAreLeftAndStringsFreedTwice) {
  BSTR leaked = nullptr;
  {
    BstrLeakCheck check;
    ASSERT_TRUE(check.Active()) << "the allocation spy could not be registered";
    BSTR freed = SysAllocString(L"freed");
    SysFreeString(freed);
    // Asked now: the next string may well get the same block.
    EXPECT_FALSE(check.IsLive(freed));
    leaked = SysAllocString(L"leaked");
    EXPECT_EQ(check.Allocations(), 2);
    EXPECT_EQ(check.Frees(), 1);
    EXPECT_EQ(check.Outstanding(), 1);
    EXPECT_TRUE(check.IsLive(leaked));

    BSTR twice = SysAllocString(L"twice");
    SysFreeString(twice);
    SysFreeString(twice);
    EXPECT_EQ(check.DoubleFrees(), 1);
  }
  SysFreeString(leaked);
}

TEST(BstrLeakCheck, CountsWhatAFakeHandsOutUntilTheCallerFreesIt) {
  ComPtr<FakeScanner> fake = FakeScanner::Create();
  fake->On(51).Returns(L"label");
  BstrLeakCheck check;
  VARIANT v;
  VariantInit(&v);
  ASSERT_EQ(Call(fake.Get(), 51, DISPATCH_PROPERTYGET, {}, &v), S_OK);
  EXPECT_EQ(check.HandedOut(), 1);
  EXPECT_EQ(check.HandedOutNotFreed(), 1);
  VariantClear(&v);
  EXPECT_EQ(check.HandedOutNotFreed(), 0);
  EXPECT_EQ(check.Outstanding(), 0);
  EXPECT_EQ(fake->BstrsHandedOut(), 1);
}

TEST(FakeScanner, AnswersOneTimeBeforeStandingAndKindSpecificBeforeAnyKind) {
  ComPtr<FakeScanner> fake = FakeScanner::Create();
  fake->On(22).Returns(1);
  fake->On(22, DISPATCH_PROPERTYGET).Returns(2);
  fake->Once(22).Returns(3);
  fake->Once(22).Returns(4);
  EXPECT_EQ(GetLong(fake.Get(), 22), 3);
  EXPECT_EQ(GetLong(fake.Get(), 22), 4);
  EXPECT_EQ(GetLong(fake.Get(), 22), 2);
  VARIANT v;
  VariantInit(&v);
  ASSERT_EQ(Call(fake.Get(), 22, DISPATCH_METHOD, {}, &v), S_OK);
  EXPECT_EQ(VariantValue(v).AsLong(), 1);
  VariantClear(&v);
}

TEST(FakeScanner, StoresWritesForLaterReadsAndRejectsAPutWithoutItsNamedArgument) {
  ComPtr<FakeScanner> fake = FakeScanner::Create();
  EXPECT_EQ(Call(fake.Get(), 17, DISPATCH_PROPERTYPUT, {VariantValue::Bool(true)}), S_OK);
  EXPECT_EQ(GetLong(fake.Get(), 17), -1);

  VARIANT arg = VariantValue::Long(1).Get();
  DISPPARAMS unnamed{&arg, nullptr, 1, 0};
  EXPECT_TRUE(FAILED(fake->Invoke(11, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr)));
  ASSERT_EQ(fake->Calls().size(), 3u);
  EXPECT_EQ(fake->Calls()[0].args[0].vt, VT_BOOL);
  EXPECT_EQ(fake->Calls()[0].namedArgs, std::vector<DISPID>{DISPID_PROPERTYPUT});
}

// Records the events it receives.
class RecordingSink final : public comkit::Unowned<RecordingSink, IDispatch> {
public:
  std::vector<std::pair<DISPID, long>> events;
  STDMETHODIMP GetTypeInfoCount(UINT *p) override {
    *p = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS *p, VARIANT *, EXCEPINFO *, UINT *) override {
    try {
      events.emplace_back(dispid, p && p->cArgs == 1 ? VariantValue(p->rgvarg[0]).AsLong() : -1);
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
};

TEST(FakeScanner, FiresEventsToTheSinkAdvisedOnItsDefaultSourceInterface) {
  ComPtr<FakeScanner> fake = FakeScanner::Create();
  GUID source{};
  ASSERT_EQ(fake->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(fake->FindConnectionPoint(source, &point), S_OK);
  RecordingSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  EXPECT_EQ(fake->FireDataEvent(0), 1);
  EXPECT_EQ(fake->FireStatusUpdateEvent(2002), 1);
  ASSERT_EQ(point->Unadvise(cookie), S_OK);
  EXPECT_EQ(fake->FireDataEvent(0), 0);
  EXPECT_EQ(sink.events, (std::vector<std::pair<DISPID, long>>{{1, 0}, {5, 2002}}));
}

TEST(FakeScanner, KeepsTheBytesOfItsInitialStateStream) {
  const BYTE bytes[16] = {0, 0, 0, 0, 0, 9, 0, 0, 0x9E, 3, 0, 0, 0x8C, 4, 0, 0};
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(stream->Write(bytes, sizeof bytes, nullptr), S_OK);
  const LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ComPtr<FakeScanner> fake = FakeScanner::Create();
  ASSERT_EQ(fake->Load(stream.Get()), S_OK);
  EXPECT_EQ(fake->InitStateBytes(), std::vector<BYTE>(bytes, bytes + sizeof bytes));
  EXPECT_TRUE(fake->WasLoaded());
  EXPECT_FALSE(fake->WasInitNew());
}

TEST(FakeScannerRegistration, MakesTheFakeForItsClassWhileItLives) {
  {
    FakeScannerRegistration reg;
    ASSERT_EQ(reg.Result(), S_OK);
    reg.On(22).Returns(104);
    ComPtr<IOleObject> object;
    ASSERT_EQ(CoCreateInstance(kFakeScannerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.PutVoid()),
              S_OK);
    ASSERT_EQ(reg.Instances().size(), 1u);
    EXPECT_EQ(static_cast<IOleObject *>(reg.Last()), object.Get());
    EXPECT_EQ(GetLong(reg.Last(), 22), 104);

    reg.FailCreation(E_OUTOFMEMORY);
    ComPtr<IOleObject> second;
    EXPECT_EQ(CoCreateInstance(kFakeScannerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, second.PutVoid()),
              E_OUTOFMEMORY);
  }
  // Once revoked, the class is no longer the fake's: creating it fails, or
  // reaches the server registered for it in the prefix.
  ComPtr<IOleObject> after;
  if (SUCCEEDED(CoCreateInstance(kFakeScannerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, after.PutVoid()))) {
    ComPtr<IProvideClassInfo2> info;
    IID source{};
    if (SUCCEEDED(after.As(info)) && SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source))) {
      EXPECT_NE(kFakeScannerEventsIid, source);
    }
  }
}

TEST(FakeScanner, StricterQuirksRefuseWhatTheySay) {
  ComPtr<FakeScanner> fake = FakeScanner::Create();
  fake->SetQuirks(kFakeNoClassInfo | kFakeRefusesStateStream | kFakeNoPointEnumeration);
  ComPtr<IProvideClassInfo> info;
  EXPECT_EQ(fake->QueryInterface(IID_IProvideClassInfo, info.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(fake->QueryInterface(IID_IProvideClassInfo2, info.PutVoid()), E_NOINTERFACE);
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  EXPECT_EQ(fake->Load(stream.Get()), E_FAIL);
  EXPECT_EQ(fake->InitNew(), S_OK);
  ComPtr<IEnumConnectionPoints> points;
  EXPECT_HRESULT_FAILED(fake->EnumConnectionPoints(&points));
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(fake->FindConnectionPoint(kFakeScannerEventsIid, &point), S_OK);

  // Without the quirk the points are listed, property notices first.
  fake->SetQuirks(kFakeNoConnectionPoints);
  ComPtr<IConnectionPointContainer> container;
  EXPECT_EQ(fake->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), E_NOINTERFACE);
  ASSERT_EQ(fake->EnumConnectionPoints(&points), S_OK);
  std::vector<IID> listed;
  for (ULONG got = 0; points->Next(1, &point, &got) == S_OK && got == 1;) {
    IID iid{};
    point->GetConnectionInterface(&iid);
    listed.push_back(iid);
  }
  EXPECT_EQ(listed, (std::vector<IID>{IID_IPropertyNotifySink, kFakeScannerEventsIid}));
}

TEST(WindowsQueueBits, AFilteredPeekClearsOnlyThePostMessageBitUntilTheNextPost) {
  const HWND hwnd = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  PumpMessages(10);
  {
    WindowsQueueBits asWindows;
    ASSERT_TRUE(asWindows.Installed());
    PostMessageW(hwnd, WM_APP, 0, 0);
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)), QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, hwnd, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)), QS_ALLPOSTMESSAGE) << "WM_APP still waits";
    PostMessageW(hwnd, WM_APP, 0, 0);
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_POSTMESSAGE)), QS_POSTMESSAGE);
  }
  PumpMessages(10);
  DestroyWindow(hwnd);
}

TEST(MessageBoxWatcher, RecordsAndDismissesTheBoxesOfTheTestThreadInOrder) {
  MessageBoxWatcher watcher;
  EXPECT_EQ(MessageBoxW(nullptr, L"Device power off", L"Quillon", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, L"Continue?", L"Second", MB_OKCANCEL), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, L"Really?", L"Third", MB_YESNO), IDYES);
  const auto seen = watcher.Seen();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].caption, L"Quillon");
  EXPECT_EQ(seen[0].text, L"Device power off");
  EXPECT_EQ(seen[1].caption, L"Second");
  EXPECT_EQ(seen[2].text, L"Really?");
}

int g_timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_timerTicks; }

TEST(MessagePump, DispatchesTheThreadsMessagesWhileWaiting) {
  g_timerTicks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, CountTick);
  ASSERT_NE(timer, 0u);
  EXPECT_TRUE(PumpUntil([] { return g_timerTicks >= 2; }, 2000));
  EXPECT_FALSE(PumpUntil([] { return false; }, 30));
  KillTimer(nullptr, timer);
}

} // namespace
