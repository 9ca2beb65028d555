// The OPOS Scanner control object: automation (IDispatch), events through a
// connection point, the hosting interfaces an ActiveX container asks for, and
// the UnifiedPOS life cycle and event queue in front of a device service.
#pragma once

#include "control/members.h"
#include "control/claim.h"
#include "control/service.h"
#include "framework/com.h"

#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quillon {

class ScannerControl final : public IDispatch,
                             public IConnectionPointContainer,
                             public IProvideClassInfo2,
                             public IOleObject,
                             public IOleInPlaceObject,
                             public IOleControl,
                             public IPersistStreamInit,
                             private IServiceSink {
public:
  static HRESULT Create(REFIID iid, void **ppv);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch
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

  // IOleObject
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

  // IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND *hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO *info) override;
  STDMETHODIMP OnMnemonic(MSG *msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID *clsid) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(IStream *stream) override;
  STDMETHODIMP Save(IStream *stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER *size) override;
  STDMETHODIMP InitNew() override;

private:
  class ConnectionPoint;
  enum class EventKind { Data, Error, Status, DirectIO };
  struct QueuedEvent {
    EventKind kind;
    unsigned long long sequence;
    Label label;       // Data
    long a = 0;        // Error: result code; Status: status; DirectIO: event number
    long b = 0;        // Error: extended code; DirectIO: data
    std::wstring text; // DirectIO
  };

  ScannerControl();
  ~ScannerControl();

  // IServiceSink, called from the service's threads.
  bool OnLabel(Label label) override;
  void OnPowerState(long powerState) override;
  void OnInputError(long resultCode, long resultCodeExtended) override;
  void OnStatusUpdate(long status) override;
  void OnDirectIOEvent(long eventNumber, long data, std::wstring text) override;
  bool InputEnabled() override;

  HRESULT InvokeMethod(const members::Member &m, DISPPARAMS &params, VARIANT *result, UINT *argErr);
  HRESULT InvokeGet(const members::Member &m, VARIANT *result);
  HRESULT InvokePut(const members::Member &m, DISPPARAMS &params, UINT *argErr);

  // The OPOS operations; each returns the result code and sets ResultCode.
  long DoOpen(const std::wstring &name);
  long DoClose();
  long DoClaim(long timeout);
  long DoRelease();
  long DoCheckHealth(long level);
  long DoClearInput();
  long DoClearInputProperties();
  long DoDirectIO(long command, long &data, std::wstring &text);
  long DoRetrieveStatistics(std::wstring &buffer);
  long DoUpdateStatistics(const std::wstring &buffer, bool reset);
  long SetDeviceEnabled(bool enable);
  long SetResult(long code, long extended = 0);
  void Shutdown();

  long MapPower(long physical) const;
  void QueueOther(QueuedEvent ev);
  void PostDeliver();
  void Deliver();
  void Fire(QueuedEvent &ev);
  std::wstring Converted(const std::string &bytes) const;

  static LRESULT CALLBACK EventWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PlaceholderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::atomic<ULONG> m_refs{1};
  HWND m_eventWindow = nullptr;
  std::unique_ptr<ConnectionPoint> m_connectionPoint;

  // Stricter behaviour, switched on from the registry for testing containers.
  bool m_noClassInfo = false;
  bool m_refuseStateStream = false;

  // Hosting.
  ComPtr<IOleClientSite> m_site;
  ComPtr<IOleInPlaceSite> m_inPlaceSite;
  HWND m_placeholder = nullptr;
  SIZEL m_extent{926, 1164};
  int m_containerFreeze = 0;

  // Application-thread state.
  std::unique_ptr<IScannerService> m_service;
  Capabilities m_caps;
  DeviceClaim m_claim;
  std::wstring m_deviceName;
  long m_resultCode = 0;
  long m_resultCodeExtended = 0;
  bool m_claimed = false;
  bool m_decodeData = false;
  long m_binaryConversion = 0;
  long m_powerNotify = 0;
  std::wstring m_checkHealthText;
  std::string m_scanData;
  std::string m_scanDataLabel;
  long m_scanDataType = 0;
  int m_inCall = 0;
  bool m_firing = false;
  bool m_deliverySkipped = false;

  // Shared with the service's threads, under m_lock.
  std::mutex m_lock;
  bool m_open = false;
  bool m_enabled = false;
  bool m_autoDisable = false;
  bool m_dataEventEnabled = false;
  bool m_freezeEvents = false;
  long m_state = 1;
  long m_powerState = 2000;
  long m_dataCount = 0;
  unsigned long long m_sequence = 0;
  std::deque<QueuedEvent> m_input; // DataEvent and ErrorEvent: wait for DataEventEnabled
  std::deque<QueuedEvent> m_other; // StatusUpdateEvent and DirectIOEvent
  std::atomic<bool> m_deliverPosted{false};
};

// Live objects and server locks, for DllCanUnloadNow.
extern std::atomic<long> g_moduleRefs;

} // namespace quillon
