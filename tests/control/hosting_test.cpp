// The control as an embedded object: a container whose site refuses in-place
// activation, and the DLL's answer to "may I unload you" while an object goes.
#include "scanner_driver.h"

#include "comkit/object.h"

using namespace quillon::control::test;

namespace {

// A client site that is also an in-place site refusing activation; it counts
// the deactivations it is told of.
class RefusingSite final : public comkit::Unowned<RefusingSite, IOleClientSite, IOleInPlaceSite> {
public:
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker **mk) override { return *mk = nullptr, E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer **c) override { return *c = nullptr, E_NOINTERFACE; }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND *hwnd) override { return *hwnd = parent, S_OK; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return ++activations, S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame **frame, IOleInPlaceUIWindow **doc, LPRECT, LPRECT,
                                LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return ++deactivations, S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  int activations = 0, deactivations = 0;
  HWND parent = nullptr;
};

// A site that refuses in-place activation is not held as an in-place site: it
// hears of no deactivation it never had, and is let go with the client site.
TEST(Hosting, ASiteThatRefusesInPlaceActivationIsNotKept) {
  RefusingSite site;
  site.parent =
      CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, site.parent);
  {
    ComPtr<IOleObject> object;
    ASSERT_EQ(S_OK, CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.PutVoid()));
    ASSERT_EQ(S_OK, object->SetClientSite(&site));
    const RECT rc{0, 0, 32, 32};
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, site.parent, &rc));
    EXPECT_EQ(0, site.activations);
    EXPECT_EQ(2u, site.References()) << "held as the client site only";
    EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(0, site.deactivations) << "told of a deactivation without an activation";
    EXPECT_EQ(S_OK, object->SetClientSite(nullptr));
  }
  EXPECT_EQ(1u, site.References());
  DestroyWindow(site.parent);
}

// An event sink that, when its last reference goes, asks the control's DLL
// whether it may be unloaded.
class AskingSink final : public comkit::Unowned<AskingSink, IDispatch> {
public:
  void LastReleased() {
    if (canUnloadNow) answer = canUnloadNow();
  }
  STDMETHODIMP GetTypeInfoCount(UINT *n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override {
    return S_OK;
  }

  HRESULT(STDAPICALLTYPE *canUnloadNow)() = nullptr;
  HRESULT answer = E_FAIL;
};

// While the control's members still release their references (code of the
// DLL still running), the DLL does not say it may be unloaded.
TEST(Hosting, TheDllStaysWhileAnObjectIsGoing) {
  AskingSink sink;
  {
    ComPtr<IDispatch> control;
    ASSERT_EQ(S_OK, CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.PutVoid()));
    const HMODULE dll = GetModuleHandleW(L"QuillonScanner.dll");
    ASSERT_NE(nullptr, dll);
    sink.canUnloadNow =
        reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(reinterpret_cast<void *>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, sink.canUnloadNow);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, control.As(container));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(
                        {0xAD5C907D, 0x2B11, 0x4921, {0xA7, 0xE6, 0x47, 0x79, 0xA7, 0xD4, 0x79, 0x69}}, &point));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
    sink.Release(); // the connection holds the only reference now
  }
  EXPECT_EQ(0u, sink.References());
  EXPECT_EQ(S_FALSE, sink.answer);
}

} // namespace
