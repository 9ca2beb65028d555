// The control site against controls stricter than ours: one without class
// information (its events are found through the type library of its class or
// its connection points, or it is said once that there are none), one that
// refuses the stored state, and allocation failures inside the callbacks
// Windows calls (the power box timer, the site's window procedure).
#include "console_window.h"

#include "support/message_pump.h"

#include "framework/olecontrol.h"
#include "framework/winapp.h"

#include <cstdlib>
#include <new>
#include <string>

// Allocation failures on demand, on the thread that asks for them only.
namespace {
thread_local int t_allocationsUntilFailure = 0;
} // namespace

// The library's operator delete frees with free(), which matches malloc().
void *operator new(std::size_t size) {
  if (t_allocationsUntilFailure > 0 && --t_allocationsUntilFailure == 0) throw std::bad_alloc();
  if (void *p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

namespace {

// The next allocation of this thread fails with std::bad_alloc.
void FailNextAllocation() { t_allocationsUntilFailure = 1; }

// A class of this test only, so that its registry entries touch nothing else.
// {6A1C52E4-90D3-4F0B-8E67-3C2B9A41D7F5}
const CLSID kStrictClsid = {0x6A1C52E4, 0x90D3, 0x4F0B, {0x8E, 0x67, 0x3C, 0x2B, 0x9A, 0x41, 0xD7, 0xF5}};
const wchar_t kStrictClsidText[] = L"{6A1C52E4-90D3-4F0B-8E67-3C2B9A41D7F5}";
// {6A1C52E5-90D3-4F0B-8E67-3C2B9A41D7F5}
const GUID kStrictLibid = {0x6A1C52E5, 0x90D3, 0x4F0B, {0x8E, 0x67, 0x3C, 0x2B, 0x9A, 0x41, 0xD7, 0xF5}};

const SYSKIND kSysKind = sizeof(void *) == 8 ? SYS_WIN64 : SYS_WIN32;

// A type library that describes the strict class with the fake's event
// interface as its default source, registered (with the class's TypeLib
// entry) while the object lives.
class RegisteredTypeLib {
public:
  RegisteredTypeLib() {
    wchar_t dir[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, dir);
    m_path = std::wstring(dir) + L"quillon_strict_control.tlb";
    m_ok = Build() && Register();
  }
  ~RegisteredTypeLib() {
    UnRegisterTypeLib(kStrictLibid, 1, 0, LANG_NEUTRAL, kSysKind);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kStrictClsidText).c_str());
    DeleteFileW(m_path.c_str());
  }
  RegisteredTypeLib(const RegisteredTypeLib &) = delete;
  RegisteredTypeLib &operator=(const RegisteredTypeLib &) = delete;
  bool Ok() const { return m_ok; }

private:
  bool Build() {
    ComPtr<ICreateTypeLib2> lib;
    if (FAILED(CreateTypeLib2(kSysKind, m_path.c_str(), &lib))) return false;
    lib->SetGuid(kStrictLibid);
    lib->SetName(const_cast<LPOLESTR>(L"QuillonStrictControl"));
    lib->SetVersion(1, 0);
    lib->SetLcid(LANG_NEUTRAL);

    ComPtr<ITypeLib> stdole;
    ComPtr<ITypeInfo> dispatch;
    if (FAILED(LoadRegTypeLib(IID_StdOle, 2, 0, LANG_NEUTRAL, &stdole)) ||
        FAILED(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch)))
      return false;
    ComPtr<ICreateTypeInfo> events;
    HREFTYPE dispatchRef = 0;
    if (FAILED(lib->CreateTypeInfo(const_cast<LPOLESTR>(L"_StrictEvents"), TKIND_DISPATCH, &events)) ||
        FAILED(events->SetGuid(kFakeScannerEventsIid)) ||
        FAILED(events->AddRefTypeInfo(dispatch.Get(), &dispatchRef)) || FAILED(events->AddImplType(0, dispatchRef)) ||
        FAILED(events->LayOut()))
      return false;

    ComPtr<ITypeInfo> eventsInfo;
    ComPtr<ICreateTypeInfo> coclass;
    HREFTYPE eventsRef = 0;
    if (FAILED(events.QueryInto(IID_ITypeInfo, eventsInfo.PutVoid())) ||
        FAILED(lib->CreateTypeInfo(const_cast<LPOLESTR>(L"StrictControl"), TKIND_COCLASS, &coclass)) ||
        FAILED(coclass->SetGuid(kStrictClsid)) || FAILED(coclass->AddRefTypeInfo(eventsInfo.Get(), &eventsRef)) ||
        FAILED(coclass->AddImplType(0, eventsRef)) ||
        FAILED(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) || FAILED(coclass->LayOut()))
      return false;
    return SUCCEEDED(lib->SaveAllChanges());
  }
  bool Register() {
    ComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(m_path.c_str(), REGKIND_REGISTER, &lib))) return false;
    HKEY key = nullptr;
    const std::wstring name = std::wstring(L"CLSID\\") + kStrictClsidText + L"\\TypeLib";
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    wchar_t libid[40] = L"";
    StringFromGUID2(kStrictLibid, libid, 40);
    const LSTATUS status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(libid),
                                          static_cast<DWORD>((lstrlenW(libid) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }

  std::wstring m_path;
  bool m_ok = false;
};

// A plain dialog (the About template) that records the events of the control
// hosted in it.
class HostDialog : public CDialog {
public:
  HostDialog() : CDialog(IDD_ABOUTBOX) {}
  std::vector<std::pair<UINT, DISPID>> m_events;

protected:
  bool OnControlEvent(UINT nID, DISPID dispid, const DISPPARAMS &) override {
    m_events.emplace_back(nID, dispid);
    return true;
  }
};

bool Contains(const std::wstring &text, const wchar_t *part) { return text.find(part) != std::wstring::npos; }

struct SourceCase {
  const char *what;
  DWORD quirks;
  bool typeLib;   // a type library is registered for the class
  bool connected; // DataEvent reaches the dialog
};

TEST(ControlSite, EventsAreFoundWhereverTheControlOffersThemOrTheirAbsenceIsToldOnce) {
  const SourceCase kCases[] = {
      {"class information", 0, false, true},
      {"the registered type library", kFakeNoClassInfo | kFakeNoPointEnumeration, true, true},
      {"the connection points", kFakeNoClassInfo, false, true},
      {"nothing to go by", kFakeNoClassInfo | kFakeNoPointEnumeration, false, false},
      {"no connection points at all", kFakeNoConnectionPoints, false, false},
  };
  for (const SourceCase &c : kCases) {
    SCOPED_TRACE(c.what);
    FakeScannerRegistration reg(kStrictClsid);
    ASSERT_EQ(reg.Result(), S_OK);
    reg.SetQuirks(c.quirks);
    std::unique_ptr<RegisteredTypeLib> typeLib;
    if (c.typeLib) {
      typeLib = std::make_unique<RegisteredTypeLib>();
      ASSERT_TRUE(typeLib->Ok());
    }
    MessageBoxWatcher boxes;
    HostDialog dlg;
    ASSERT_TRUE(dlg.Create());
    ComPtr<COleControlSite> site;
    ASSERT_EQ(
        COleControlSite::Create(dlg.m_hWnd, 1001, WS_VISIBLE, 0, RECT{0, 0, 20, 20}, kStrictClsid, {}, HWND_TOP, site),
        S_OK);
    EXPECT_EQ(boxes.Count(), 0u) << "nothing is said while the window is being made";
    PumpMessages(300);

    FakeScanner *fake = reg.Last();
    ASSERT_NE(fake, nullptr);
    EXPECT_EQ(fake->FireDataEvent(0), c.connected ? 1 : 0);
    EXPECT_EQ(fake->PropertySinkCount(), 0u) << "property notices are not events";
    if (c.connected) {
      EXPECT_EQ(dlg.m_events, (std::vector<std::pair<UINT, DISPID>>{{1001u, 1}}));
      EXPECT_EQ(boxes.Count(), 0u);
    } else {
      ASSERT_EQ(boxes.Count(), 1u);
      const std::wstring text = boxes.Seen()[0].text;
      EXPECT_TRUE(Contains(text, kStrictClsidText)) << testing::PrintToString(text);
      EXPECT_TRUE(Contains(text, L"1001")) << testing::PrintToString(text);
      for (const wchar_t *tried : {L"IProvideClassInfo2", L"IProvideClassInfo)", L"type library", L"connection points"})
        EXPECT_TRUE(Contains(text, tried)) << testing::PrintToString(text);
      PumpMessages(200);
      EXPECT_EQ(boxes.Count(), 1u) << "said once";
    }
    dlg.DestroyWindow();
  }
}

TEST(ControlSite, TheConsoleWithoutAnyEventSourceComesUpSaysSoNamingTheControlAndCarriesOn) {
  FakeScannerRegistration reg;
  reg.SetQuirks(kFakeNoClassInfo | kFakeNoPointEnumeration);
  MessageBoxWatcher boxes;
  CPellixDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
  EXPECT_EQ(boxes.Count(), 0u) << "start-up is not held up";
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() > 0; }, 5000));
  const std::wstring text = boxes.Seen()[0].text;
  EXPECT_TRUE(Contains(text, L"OPOS.Scanner {CCB90182-B81E-11D2-AB74-0040054C3719}")) << testing::PrintToString(text);
  EXPECT_EQ(boxes.Seen()[0].owner, dlg.m_hWnd);

  // The console carries on: commands reach the control.
  SendMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_CLAIM, BN_CLICKED),
               reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDC_CLAIM)));
  EXPECT_EQ(reg.Last()->CallsTo(kClaimDevice).size(), 1u);
  EXPECT_EQ(boxes.Count(), 1u);
}

TEST(ControlSite, AControlThatRefusesTheStoredStateStartsFromItsDefaultsAndTheConsoleComesUp) {
  FakeScannerRegistration reg;
  reg.SetQuirks(kFakeRefusesStateStream);
  MessageBoxWatcher boxes;
  CPellixDlg dlg;
  ASSERT_TRUE(dlg.Create()) << "window creation failed";
  FakeScanner *fake = reg.Last();
  ASSERT_NE(fake, nullptr);
  const std::vector<std::wstring> &steps = fake->Lifecycle();
  const auto load = std::find(steps.begin(), steps.end(), L"Load");
  ASSERT_NE(load, steps.end());
  EXPECT_NE(std::find(load, steps.end(), L"InitNew"), steps.end()) << "InitNew after the refused Load";
  EXPECT_EQ(fake->SinkCount(), 1u);
  PumpMessages(200);
  EXPECT_EQ(boxes.Count(), 0u);

  SendMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_CLAIM, BN_CLICKED),
               reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDC_CLAIM)));
  EXPECT_EQ(fake->CallsTo(kClaimDevice).size(), 1u);
}

// Callbacks that Windows calls: an allocation failure inside them is reported
// where it happens and goes no further (it would unwind through user32).
using CallbackEdges = ConsoleWindow;

TEST_F(CallbackEdges, AnAllocationFailureInThePowerBoxTimerIsReportedAndTheNextTextGetsItsBox) {
  MessageBoxWatcher boxes;
  PumpMessages(100); // nothing else waits when the timer fires
  m_fake->FireStatusUpdateEvent(2002);
  Sleep(50); // the box's timer is due
  FailNextAllocation();
  EXPECT_NO_THROW(PumpMessages(300));
  t_allocationsUntilFailure = 0;
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() > 0; }, 5000));
  PumpMessages(100);
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Out of memory."});

  boxes.Clear();
  m_fake->FireStatusUpdateEvent(2001);
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() > 0; }, 5000));
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{PowerStatusText(2001)});
}

TEST(ControlSite, AnAllocationFailureInTheSiteWindowIsReportedThere) {
  FakeScannerRegistration reg;
  reg.SetQuirks(kFakeNoClassInfo | kFakeNoPointEnumeration); // the site has a notice to show
  MessageBoxWatcher boxes;
  CPellixDlg dlg;
  ASSERT_TRUE(dlg.Create());
  FailNextAllocation(); // the first allocation in the site window's notice
  EXPECT_NO_THROW(PumpMessages(300));
  t_allocationsUntilFailure = 0;
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() > 0; }, 5000));
  PumpMessages(100);
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Out of memory."});
  EXPECT_TRUE(IsWindow(dlg.m_hWnd));
}

} // namespace
