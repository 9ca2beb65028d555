// The COM kit: which interface QueryInterface hands out for each IID, when
// objects go, connection points and their enumerator, the class factory,
// window classes registered once, and the handle holder.
#include "comkit/class_factory.h"
#include "comkit/connection_point.h"
#include "comkit/window_class.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

// {6B0E2C4A-1D3F-4A5B-9C7D-8E9F0A1B2C3D}: an IID outside any list, standing
// for a dispinterface.
const IID kOtherIid = {0x6B0E2C4A, 0x1D3F, 0x4A5B, {0x9C, 0x7D, 0x8E, 0x9F, 0x0A, 0x1B, 0x2C, 0x3D}};

// Two interfaces that derive from others, a run-time refusal and an IID
// outside the list.
class Probe final : public comkit::Object<Probe, IProvideClassInfo2, IPersistStreamInit> {
public:
  explicit Probe(bool *gone) : m_gone(gone) {}
  bool refuseClassInfo = false;
  bool Refuses(REFIID iid) const { return refuseClassInfo && iid == IID_IProvideClassInfo; }
  void *OtherInterface(REFIID iid) { return iid == kOtherIid ? static_cast<IPersistStreamInit *>(this) : nullptr; }

  STDMETHODIMP GetClassInfo(ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetGUID(DWORD, GUID *) override { return E_NOTIMPL; }
  STDMETHODIMP GetClassID(CLSID *) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream *) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream *, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER *) override { return E_NOTIMPL; }
  STDMETHODIMP InitNew() override { return S_OK; }

private:
  ~Probe() { *m_gone = true; }
  bool *m_gone;
};

TEST(ComKit, QueryInterfaceAnswersTheListTheirBasesAndTheHooks) {
  bool gone = false;
  ComPtr<Probe> probe;
  probe.Attach(new Probe(&gone));
  void *const classInfo = static_cast<IProvideClassInfo2 *>(probe.Get());
  void *const persist = static_cast<IPersistStreamInit *>(probe.Get());
  const struct {
    const IID *iid;
    void *expected; // null: E_NOINTERFACE
  } cases[] = {
      {&IID_IUnknown, classInfo}, {&IID_IProvideClassInfo, classInfo}, {&IID_IProvideClassInfo2, classInfo},
      {&IID_IPersist, persist},   {&IID_IPersistStreamInit, persist},  {&kOtherIid, persist},
      {&IID_IDispatch, nullptr},  {&IID_IPersistStream, nullptr},
  };
  for (const auto &c : cases) {
    void *p = reinterpret_cast<void *>(1);
    const HRESULT hr = probe->QueryInterface(*c.iid, &p);
    EXPECT_EQ(c.expected ? S_OK : E_NOINTERFACE, hr);
    EXPECT_EQ(c.expected, p);
    if (p) static_cast<IUnknown *>(p)->Release();
  }
  EXPECT_EQ(E_POINTER, probe->QueryInterface(IID_IUnknown, nullptr));

  probe->refuseClassInfo = true;
  ComPtr<IProvideClassInfo> refused;
  EXPECT_EQ(E_NOINTERFACE, probe->QueryInterface(IID_IProvideClassInfo, refused.PutVoid()));
  EXPECT_FALSE(refused);

  // Every answer holds a reference; the last release deletes the object.
  ComPtr<IPersist> held;
  ASSERT_EQ(S_OK, probe->QueryInterface(IID_IPersist, held.PutVoid()));
  probe.Reset();
  EXPECT_FALSE(gone);
  held.Reset();
  EXPECT_TRUE(gone);
}

// An event sink that records what it is told, and may act inside a handler.
class Sink final : public comkit::Unowned<Sink, IDispatch> {
public:
  int events = 0;
  std::function<void()> onEvent;
  STDMETHODIMP GetTypeInfoCount(UINT *n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override {
    ++events;
    if (onEvent) onEvent();
    return S_OK;
  }
};

// A container with a dispinterface's point and a plain interface's point.
class Container final : public comkit::Unowned<Container, IConnectionPointContainer> {
public:
  comkit::ConnectionPoint events{*Unknown(), kOtherIid};
  comkit::ConnectionPoint notices{*Unknown(), IID_IPropertyNotifySink, comkit::ConnectionPoint::Kind::Interface};
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override {
    return comkit::EnumeratePoints({&events, &notices}, ppEnum);
  }
  STDMETHODIMP FindConnectionPoint(REFIID, IConnectionPoint **) override { return E_NOTIMPL; }
};

TEST(ComKit, AConnectionPointFiresToTheSinksOfTheMomentAndSharesItsOwnersReferences) {
  Container container;
  Sink first, second, plain;
  DWORD a = 0, b = 0, c = 0;
  ASSERT_EQ(S_OK, container.events.Advise(&first, &a));
  ASSERT_EQ(S_OK, container.events.Advise(&second, &b));
  EXPECT_NE(a, b);
  EXPECT_EQ(CONNECT_E_CANNOTCONNECT, container.notices.Advise(&plain, &c)) << "an IDispatch is not the interface";
  EXPECT_EQ(0u, c);
  EXPECT_EQ(E_POINTER, container.events.Advise(nullptr, &c));
  EXPECT_EQ(1u, container.References()) << "advising takes no reference to the container";

  // The first handler unadvises the second sink: it is still told of this
  // event, and of none after it.
  first.onEvent = [&] { container.events.Unadvise(b); };
  DISPPARAMS none{};
  EXPECT_EQ(2, container.events.Fire(1, none));
  first.onEvent = nullptr;
  EXPECT_EQ(1, container.events.Fire(1, none));
  EXPECT_EQ(2, first.events);
  EXPECT_EQ(1, second.events);
  EXPECT_EQ(1u, second.References()) << "an unadvised sink is let go";
  EXPECT_EQ(CONNECT_E_NOCONNECTION, container.events.Unadvise(b));

  ComPtr<IConnectionPointContainer> owner;
  ASSERT_EQ(S_OK, container.events.GetConnectionPointContainer(&owner));
  EXPECT_EQ(static_cast<IConnectionPointContainer *>(&container), owner.Get());
  EXPECT_EQ(2u, container.References());
  owner.Reset();
  ASSERT_EQ(S_OK, container.events.Unadvise(a));
  EXPECT_EQ(1u, first.References());
}

TEST(ComKit, ThePointEnumeratorWalksHoldsAndClones) {
  Container container;
  {
    ComPtr<IEnumConnectionPoints> walk;
    ASSERT_EQ(S_OK, container.EnumConnectionPoints(&walk));
    EXPECT_EQ(3u, container.References()) << "the enumerator holds both points, whose references are the container's";
    IConnectionPoint *points[3] = {};
    ULONG fetched = 9;
    EXPECT_EQ(E_POINTER, walk->Next(2, points, nullptr));
    EXPECT_EQ(S_OK, walk->Next(1, points, &fetched));
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(&container.events, points[0]);
    points[0]->Release();

    ComPtr<IEnumConnectionPoints> copy;
    ASSERT_EQ(S_OK, walk->Clone(&copy));
    EXPECT_EQ(S_FALSE, copy->Next(3, points, &fetched)) << "the clone goes on from the same place";
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(&container.notices, points[0]);
    points[0]->Release();

    EXPECT_EQ(S_OK, walk->Reset());
    EXPECT_EQ(S_FALSE, walk->Skip(3));
  }
  EXPECT_EQ(1u, container.References());
}

TEST(ComKit, TheClassFactoryRefusesAggregationAndReportsItsCreatorsFailures) {
  int locks = 0;
  bool fail = false;
  ComPtr<comkit::ClassFactory> factory;
  factory.Attach(new comkit::ClassFactory(
      [&](REFIID iid, void **ppv) -> HRESULT {
        if (fail) throw std::runtime_error("no memory");
        bool gone = false;
        ComPtr<Probe> made;
        made.Attach(new Probe(&gone));
        return made->QueryInterface(iid, ppv);
      },
      [&](bool lock) { locks += lock ? 1 : -1; }));

  ComPtr<IPersist> object;
  EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPersist, object.PutVoid()));
  EXPECT_TRUE(object);
  ComPtr<IPersist> inner;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(object.Get(), IID_IUnknown, inner.PutVoid()));
  EXPECT_FALSE(inner);
  fail = true;
  EXPECT_EQ(E_OUTOFMEMORY, factory->CreateInstance(nullptr, IID_IPersist, object.PutVoid()));
  factory->Withdraw();
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, factory->CreateInstance(nullptr, IID_IPersist, object.PutVoid()));
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IPersist, nullptr));

  factory->LockServer(TRUE);
  factory->LockServer(TRUE);
  factory->LockServer(FALSE);
  EXPECT_EQ(1, locks);
}

TEST(ComKit, AWindowClassIsRegisteredOnceAndFoundAfterwards) {
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ComKitTestClass";
  const ATOM first = comkit::RegisterClassOnce(wc);
  EXPECT_NE(0, first);
  EXPECT_EQ(first, comkit::RegisterClassOnce(wc));
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  EXPECT_NE(nullptr, hwnd);
  DestroyWindow(hwnd);
  wc.cbSize = 0; // not a class description
  wc.lpszClassName = L"ComKitTestBadClass";
  EXPECT_EQ(0, comkit::RegisterClassOnce(wc));
}

TEST(ComKit, TheHandleHolderClosesWhatItHoldsAndNothingElse) {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  DWORD flags = 0;
  {
    ScopedHandle held(event);
    EXPECT_TRUE(held);
    ScopedHandle moved = std::move(held);
    EXPECT_FALSE(held);
    EXPECT_EQ(event, moved.Get());
    EXPECT_TRUE(GetHandleInformation(event, &flags));
  }
  EXPECT_FALSE(GetHandleInformation(event, &flags)) << "closed when its holder went";
  ScopedHandle invalid(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(invalid);
}

} // namespace
