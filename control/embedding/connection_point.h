// The control's one connection point (its event source interface) and the
// firing of events to the sinks advised there: the device core's event
// target, translated to IDispatch::Invoke on each sink.
#pragma once

#include "control/core/platform.h"
#include "framework/com.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

namespace quillon {

class ConnectionPoint final : public IConnectionPoint, public IEventTarget {
public:
  // The point lives inside the control: its references are the control's.
  explicit ConnectionPoint(IConnectionPointContainer &owner) : m_owner(owner) {}
  virtual ~ConnectionPoint() = default;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return m_owner.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_owner.Release(); }

  // IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID *iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer **ppCPC) override;
  STDMETHODIMP Advise(IUnknown *sink, DWORD *cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections **ppEnum) override;

  // IEventTarget: fires to every sink advised when the event starts.
  void DataEvent(long status) override;
  void ErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long &errorResponse) override;
  void StatusUpdateEvent(long status) override;
  void DirectIOEvent(long eventNumber, long &data, std::wstring &text) override;

private:
  struct Connection {
    DWORD cookie;
    ComPtr<IDispatch> dispatch;
  };
  void Fire(DISPID id, DISPPARAMS &params);

  IConnectionPointContainer &m_owner;
  std::vector<Connection> m_sinks;
  DWORD m_lastCookie = 0;
};

// An enumerator over the control's one connection point.
HRESULT EnumerateOnePoint(IConnectionPoint *point, IEnumConnectionPoints **ppEnum);

} // namespace quillon
