// The OPOS Scanner control object as COM sees it: the interfaces an ActiveX
// container and an automation client ask for, each translating to the device
// core (core/device.h), which decides everything about the device. Here live
// only the COM object's identity and life, the hosting interfaces
// (IOleObject, IOleInPlaceObject, IOleControl, IPersistStreamInit), the
// connection point, and the Win32 pieces the core runs on.
#pragma once

#include "control/core/device.h"
#include "control/embedding/connection_point.h"
#include "control/win32/claim.h"
#include "control/win32/event_window.h"
#include "control/win32/registry_directory.h"
#include "comkit/handles.h"
#include "comkit/object.h"

#include <ocidl.h>
#include <olectl.h>

#include <atomic>

namespace quillon::control {

// Live objects and server locks, for DllCanUnloadNow.
extern std::atomic<long> g_moduleRefs;

// Counts one live object for as long as it exists; as a first base class it
// is the last part of the object to go.
class ModuleReference {
public:
  ModuleReference() { ++g_moduleRefs; }
  ModuleReference(const ModuleReference &) = delete;
  ModuleReference &operator=(const ModuleReference &) = delete;
  ~ModuleReference() { --g_moduleRefs; }
};

// Test switches, read when an object is made, from DWORD values under
// HKCU\Software\Quillon\StandInControl: NoClassInfo=1 refuses
// IProvideClassInfo(2); RefuseStateStream=1 fails IPersistStreamInit::Load.
struct TestSwitches {
  bool noClassInfo = false;
  bool refuseStateStream = false;
  static TestSwitches Read();
};

class ScannerControl final
    : private ModuleReference,
      public comkit::Object<ScannerControl, IDispatch, IConnectionPointContainer, IProvideClassInfo2, IOleObject,
                            IOleInPlaceObject, IOleControl, IPersistStreamInit> {
public:
  static HRESULT Create(REFIID iid, void **ppv);

  // IUnknown: the class information withheld by its test switch, IDispatch
  // also as the control's own dispatch interface.
  bool Refuses(REFIID iid) const;
  void *OtherInterface(REFIID iid);

  // IDispatch: automation/dispatch.h
  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo **ppti) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                      EXCEPINFO *excep, UINT *argErr) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint **ppCP) override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo **ppTI) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID *pGuid) override;

  // IOleObject: ole_object.cpp
  STDMETHODIMP SetClientSite(IOleClientSite *site) override;
  STDMETHODIMP GetClientSite(IOleClientSite **site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker *mk) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker **mk) override;
  STDMETHODIMP InitFromData(IDataObject *data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject **data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite *site, LONG index, HWND parent, LPCRECT rect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB **verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID *clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR *type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL *size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL *size) override;
  STDMETHODIMP Advise(IAdviseSink *sink, DWORD *cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA **advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD *status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE *pal) override;

  // IOleInPlaceObject: ole_object.cpp
  STDMETHODIMP GetWindow(HWND *hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;

  // IOleControl: ole_object.cpp
  STDMETHODIMP GetControlInfo(CONTROLINFO *info) override;
  STDMETHODIMP OnMnemonic(MSG *msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IPersistStreamInit: persist.cpp
  STDMETHODIMP GetClassID(CLSID *clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(IStream *stream) override;
  STDMETHODIMP Save(IStream *stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER *size) override;
  STDMETHODIMP InitNew() override;

private:
  ScannerControl();
  ~ScannerControl();

  // The delivery the event window asks for, with the object kept alive.
  void Deliver();
  static LRESULT CALLBACK PlaceholderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  const TestSwitches m_switches;

  // What the core runs on; made before the core and gone after it.
  EventSource m_events{*Unknown()};
  RegistryDirectory m_directory;
  DeviceClaim m_claim;
  EventWindow m_eventWindow;
  Device m_device;

  // Hosting.
  ComPtr<IOleClientSite> m_site;
  ComPtr<IOleInPlaceSite> m_inPlaceSite;
  HWND m_placeholder = nullptr;
  SIZEL m_extent{926, 1164};
};

} // namespace quillon::control
