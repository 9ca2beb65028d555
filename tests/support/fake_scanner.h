// FakeScanner: a recording stand-in for the OPOS Scanner control, for tests.
//
// It is a real in-process COM object that a control container can host:
// IOleObject, IPersistStreamInit, IProvideClassInfo2, IConnectionPointContainer
// (one connection point for its event dispinterface) and IDispatch. Every
// IDispatch::Invoke is recorded; answers are programmed per dispatch ID.
//
//   FakeScannerRegistration reg;           // CoRegisterClassObject for the
//                                          // OPOS Scanner class identifier
//   reg.On(22).Returns(104);               // ResultCode reads 104
//   reg.On(37).Raises(L"no such device");  // Open fails with DISP_E_EXCEPTION
//   ... create the window that hosts the control ...
//   FakeScanner *fake = reg.Last();        // the instance the container made
//   fake->Calls();                         // what it was asked, in order
//   fake->InitStateBytes();                // the stream it was loaded with
//   fake->FireDataEvent(0);                // DataEvent to the advised sink
//   reg.SetQuirks(kFakeNoClassInfo);       // stricter, as some controls are
//
// Without an answer a method returns VT_I4 0, a property put is stored and a
// later get of that dispatch ID returns the stored value; a get of a property
// never written returns VT_EMPTY (which coerces to 0 or "").
// All calls are expected on the thread that created the object.
#pragma once

#include "variant_value.h"

#include "comkit/class_factory.h"
#include "comkit/connection_point.h"
#include "comkit/handles.h"
#include "comkit/object.h"

#include <ocidl.h>
#include <olectl.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// {CCB90182-B81E-11D2-AB74-0040054C3719}
extern const CLSID kFakeScannerClsid;
// The event dispinterface the fake reports as its default source.
extern const IID kFakeScannerEventsIid;

// Ways in which a fake is stricter than the default one (bits, combined).
enum FakeQuirk : DWORD {
  // QueryInterface refuses IProvideClassInfo and IProvideClassInfo2.
  kFakeNoClassInfo = 1,
  // IPersistStreamInit::Load fails with E_FAIL (InitNew still works).
  kFakeRefusesStateStream = 2,
  // IConnectionPointContainer::EnumConnectionPoints fails (FindConnectionPoint
  // still finds the event interface).
  kFakeNoPointEnumeration = 4,
  // QueryInterface refuses IConnectionPointContainer.
  kFakeNoConnectionPoints = 8,
};

// What one Invoke of a dispatch ID answers.
struct FakeAnswer {
  HRESULT hr = S_OK;
  VariantValue result;                   // VT_EMPTY: the default reply
  std::wstring description;              // EXCEPINFO text for DISP_E_EXCEPTION
  HRESULT scode = E_FAIL;                // EXCEPINFO scode for DISP_E_EXCEPTION
  WORD wCode = 0;                        // EXCEPINFO wCode for DISP_E_EXCEPTION
  std::function<void()> action;          // runs inside the call, before it answers
  std::optional<std::wstring> stringRef; // replaces every by-reference BSTR argument
  std::optional<long> longRef;           // replaces every by-reference long argument

  FakeAnswer &Returns(const VariantValue &v) {
    result = v;
    return *this;
  }
  FakeAnswer &Returns(long l) { return Returns(VariantValue::Long(l)); }
  FakeAnswer &Returns(int i) { return Returns(VariantValue::Long(i)); }
  FakeAnswer &Returns(const wchar_t *psz) { return Returns(VariantValue::String(psz)); }
  FakeAnswer &ReturnsBool(bool b) { return Returns(VariantValue::Bool(b)); }
  // The call fails with this HRESULT (no EXCEPINFO).
  FakeAnswer &Fails(HRESULT h) {
    hr = h;
    return *this;
  }
  // The call fails with DISP_E_EXCEPTION, EXCEPINFO carrying the text.
  FakeAnswer &Raises(const wchar_t *pszDescription, HRESULT hrCode = E_FAIL) {
    hr = DISP_E_EXCEPTION;
    scode = hrCode;
    description = pszDescription ? pszDescription : L"";
    return *this;
  }
  // The call fails with DISP_E_EXCEPTION, EXCEPINFO carrying only an error
  // code of the control's own (wCode, scode 0, no description).
  FakeAnswer &RaisesCode(WORD code) {
    hr = DISP_E_EXCEPTION;
    scode = S_OK;
    wCode = code;
    description.clear();
    return *this;
  }
  // Runs f inside the call (as a control that pumps messages or calls back
  // into its container while it works).
  FakeAnswer &Runs(std::function<void()> f) {
    action = std::move(f);
    return *this;
  }
  FakeAnswer &ReplacesString(const wchar_t *psz) {
    stringRef = psz ? psz : L"";
    return *this;
  }
  FakeAnswer &ReplacesLong(long l) {
    longRef = l;
    return *this;
  }
};

// One argument as the control received it.
struct RecordedArg {
  VARTYPE vt;         // as sent, VT_BYREF included
  VariantValue value; // the value (for a by-reference argument, what it
                      // referred to when the call arrived)
};

struct RecordedCall {
  DISPID dispid;
  WORD flags;                    // DISPATCH_METHOD, _PROPERTYGET, _PROPERTYPUT
  std::vector<RecordedArg> args; // in call order (the first argument first)
  std::vector<DISPID> namedArgs; // as sent
  bool wantsResult;              // a result VARIANT was passed
};

class FakeScanner;

// The answers for a set of fake controls, by dispatch ID and invocation kind.
class FakeAnswerBook {
public:
  // Answers every call that no programmed answer covers, as a device would
  // (a model of the control's behaviour); without it such calls get the
  // default reply.
  using Behaviour = std::function<std::optional<FakeAnswer>(FakeScanner &, const RecordedCall &)>;
  void Behave(Behaviour behaviour) { m_behaviour = std::move(behaviour); }
  const Behaviour &GetBehaviour() const { return m_behaviour; }
  // The standing answer for dispid; kind 0 applies to every invocation kind,
  // a kind (DISPATCH_PROPERTYGET, ...) only to that one and wins over 0.
  FakeAnswer &On(DISPID dispid, WORD kind = 0);
  // A one-time answer, used before the standing one; several queue up.
  FakeAnswer &Once(DISPID dispid, WORD kind = 0);
  // Forgets every answer.
  void Clear();
  // The answer for one call (consumes a one-time answer), or null.
  std::optional<FakeAnswer> Take(DISPID dispid, WORD flags);

private:
  std::map<std::pair<DISPID, WORD>, FakeAnswer> m_standing;
  std::map<std::pair<DISPID, WORD>, std::deque<FakeAnswer>> m_once;
  Behaviour m_behaviour;
};

class FakeScanner final : public comkit::Object<FakeScanner, IDispatch, IOleObject, IPersistStreamInit,
                                                IProvideClassInfo2, IConnectionPointContainer> {
public:
  // A fresh object with an answer book of its own (or a shared one).
  static ComPtr<FakeScanner> Create(std::shared_ptr<FakeAnswerBook> answers = nullptr);

  // --- Programming and inspection (test side) ---
  FakeAnswer &On(DISPID dispid, WORD kind = 0) { return m_answers->On(dispid, kind); }
  FakeAnswer &Once(DISPID dispid, WORD kind = 0) { return m_answers->Once(dispid, kind); }
  FakeAnswerBook &Answers() { return *m_answers; }

  const std::vector<RecordedCall> &Calls() const { return m_calls; }
  // The calls of one dispatch ID (any kind when kind is 0).
  std::vector<RecordedCall> CallsTo(DISPID dispid, WORD kind = 0) const;
  void ClearCalls() { m_calls.clear(); }

  // The bytes of the initial-state stream (IPersistStreamInit::Load or
  // IPersistStream::Load); empty when InitNew was used or nothing loaded.
  const std::vector<BYTE> &InitStateBytes() const { return m_initState; }
  bool WasLoaded() const { return m_loaded; }
  bool WasInitNew() const { return m_initNew; }
  // The container's calls on the hosting interfaces, in order, e.g.
  // "GetMiscStatus", "SetClientSite", "Load", "SetHostNames", "SetExtent",
  // "DoVerb(-5)", "Advise", "Unadvise", "Close", "SetClientSite(null)".
  const std::vector<std::wstring> &Lifecycle() const { return m_lifecycle; }
  IOleClientSite *ClientSite() const { return m_site.Get(); }
  // The status bits GetMiscStatus reports (OLEMISC_SETCLIENTSITEFIRST,
  // OLEMISC_INVISIBLEATRUNTIME by default).
  void SetMiscStatus(DWORD misc) { m_misc = misc; }
  // FakeQuirk bits.
  void SetQuirks(DWORD quirks) { m_quirks = quirks; }

  // --- Events: delivered synchronously to every advised sink ---
  // Returns the number of sinks that took the event.
  int Fire(DISPID dispid, const std::vector<VariantValue> &args = {});
  int FireDataEvent(long lStatus) { return Fire(1, {VariantValue::Long(lStatus)}); }
  int FireStatusUpdateEvent(long lData) { return Fire(5, {VariantValue::Long(lData)}); }
  size_t SinkCount() const { return m_point.Count(); }
  // Sinks advised to the property-change connection point (which the fake
  // also offers, first, when its points are enumerated).
  size_t PropertySinkCount() const { return m_propertyPoint.Count(); }

  // Delivery as a control with a queue does it: posts one message per label
  // to a window of its own and raises each DataEvent when its message is
  // dispatched. With peekBetween, every delivery first peeks for a timer
  // message of its own window (a filtered PeekMessage, as controls and COM's
  // modal loops do), which finds nothing.
  void PostDataEvents(int count, bool peekBetween);
  int PostedDeliveriesLeft() const { return m_postedLeft; }

  // Every BSTR this object gave to its caller (results, by-reference
  // replacements, exception texts); see BstrLeakCheck for whether they were
  // freed.
  long BstrsHandedOut() const { return m_bstrsHandedOut; }

  // --- IUnknown: the quirks withhold some interfaces ---
  bool Refuses(REFIID riid) const;
  // --- IDispatch ---
  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID, WORD wFlags, DISPPARAMS *pParams, VARIANT *pResult,
                      EXCEPINFO *pExcepInfo, UINT *puArgErr) override;
  // --- IOleObject ---
  STDMETHODIMP SetClientSite(IOleClientSite *pClientSite) override;
  STDMETHODIMP GetClientSite(IOleClientSite **ppClientSite) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override;
  STDMETHODIMP Close(DWORD) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker *) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker **ppmk) override;
  STDMETHODIMP InitFromData(IDataObject *, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject **ppDataObject) override;
  STDMETHODIMP DoVerb(LONG iVerb, LPMSG, IOleClientSite *, LONG, HWND, LPCRECT) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB **ppEnumOleVerb) override;
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID *pClsid) override;
  STDMETHODIMP GetUserType(DWORD, LPOLESTR *pszUserType) override;
  STDMETHODIMP SetExtent(DWORD, SIZEL *psizel) override;
  STDMETHODIMP GetExtent(DWORD, SIZEL *psizel) override;
  STDMETHODIMP Advise(IAdviseSink *, DWORD *pdwConnection) override;
  STDMETHODIMP Unadvise(DWORD) override { return OLE_E_NOCONNECTION; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA **ppenumAdvise) override;
  STDMETHODIMP GetMiscStatus(DWORD, DWORD *pdwStatus) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE *) override { return E_NOTIMPL; }
  // --- IPersistStreamInit ---
  STDMETHODIMP GetClassID(CLSID *pClassID) override;
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM pStm) override;
  STDMETHODIMP Save(LPSTREAM pStm, BOOL) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER *pCbSize) override;
  STDMETHODIMP InitNew() override;
  // --- IProvideClassInfo2 ---
  STDMETHODIMP GetClassInfo(ITypeInfo **ppTI) override;
  STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID *pGUID) override;
  // --- IConnectionPointContainer ---
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;

private:
  explicit FakeScanner(std::shared_ptr<FakeAnswerBook> answers);
  ~FakeScanner();
  static LRESULT CALLBACK DeliveryWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HRESULT InvokeImpl(DISPID dispid, WORD wFlags, DISPPARAMS *pParams, VARIANT *pResult, EXCEPINFO *pExcepInfo);
  BSTR HandOut(const std::wstring &s);
  void HandOutVariant(const VARIANT &v);

  std::shared_ptr<FakeAnswerBook> m_answers;
  std::vector<RecordedCall> m_calls;
  std::map<DISPID, VariantValue> m_properties; // values written by property puts
  std::vector<BYTE> m_initState;
  bool m_loaded = false;
  bool m_initNew = false;
  std::vector<std::wstring> m_lifecycle;
  ComPtr<IOleClientSite> m_site;
  DWORD m_misc = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME;
  SIZEL m_extent{0, 0};
  comkit::ConnectionPoint m_point;         // the event interface
  comkit::ConnectionPoint m_propertyPoint; // property change notices
  long m_bstrsHandedOut = 0;
  DWORD m_quirks = 0;
  HWND m_deliveryWindow = nullptr;
  bool m_peekBetween = false;
  int m_postedLeft = 0;
};

// Registers a class factory for the fake in this apartment while it lives,
// so that CoCreateInstance of the class identifier makes a FakeScanner. All
// instances share the registration's answer book.
class FakeScannerRegistration {
public:
  explicit FakeScannerRegistration(REFCLSID clsid = kFakeScannerClsid);
  ~FakeScannerRegistration();
  FakeScannerRegistration(const FakeScannerRegistration &) = delete;
  FakeScannerRegistration &operator=(const FakeScannerRegistration &) = delete;

  // S_OK when the class object is registered.
  HRESULT Result() const { return m_hr; }

  FakeAnswer &On(DISPID dispid, WORD kind = 0) { return m_answers->On(dispid, kind); }
  FakeAnswer &Once(DISPID dispid, WORD kind = 0) { return m_answers->Once(dispid, kind); }
  FakeAnswerBook &Answers() { return *m_answers; }
  // GetMiscStatus bits for instances created from now on.
  void SetMiscStatus(DWORD misc) { m_misc = misc; }
  // FakeQuirk bits for instances created from now on.
  void SetQuirks(DWORD quirks) { m_quirks = quirks; }
  // Makes every later creation fail with hr (S_OK to succeed again).
  void FailCreation(HRESULT hr) { m_createResult = hr; }

  // The instances made through the registration, oldest first; the
  // registration keeps each alive until it is destroyed.
  const std::vector<ComPtr<FakeScanner>> &Instances() const { return m_instances; }
  FakeScanner *Last() const { return m_instances.empty() ? nullptr : m_instances.back().Get(); }

private:
  HRESULT Create(REFIID riid, void **ppv);

  HRESULT m_hr = E_FAIL;
  DWORD m_cookie = 0;
  std::shared_ptr<FakeAnswerBook> m_answers;
  std::vector<ComPtr<FakeScanner>> m_instances;
  DWORD m_misc = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME;
  DWORD m_quirks = 0;
  HRESULT m_createResult = S_OK;
  ComPtr<comkit::ClassFactory> m_factory;
};
