// A connection point for one outgoing interface of the object that holds it,
// and an enumerator over an object's points. Sinks advise and unadvise with
// cookies; on a dispinterface's point, events are fired as IDispatch::Invoke
// on every sink advised when the event starts.
#pragma once

#include "comkit/handles.h"
#include "comkit/object.h"

#include <functional>
#include <initializer_list>
#include <vector>

namespace comkit {

class ConnectionPoint final : public Inner<ConnectionPoint, IConnectionPoint> {
public:
  enum class Kind {
    Dispinterface, // a sink offers the interface or, failing that, any IDispatch
    Interface,     // a sink must offer the interface itself; nothing is fired
  };
  // The point lives inside owner (a connection point container) and shares
  // its references.
  ConnectionPoint(IUnknown &owner, const IID &iid, Kind kind = Kind::Dispinterface)
      : Inner(owner), m_iid(iid), m_kind(kind) {}

  // Told after each advise (true) and before each unadvise (false).
  void OnChange(std::function<void(bool advised)> listener) { m_listener = std::move(listener); }
  // Invokes the event on every sink; returns how many took it.
  int Fire(DISPID id, DISPPARAMS &params);
  size_t Count() const { return m_sinks.size(); }

  // IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID *iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer **ppCPC) override;
  STDMETHODIMP Advise(IUnknown *sink, DWORD *cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections **ppEnum) override;

private:
  struct Connection {
    DWORD cookie;
    ComPtr<IUnknown> sink; // as the point's interface (or IDispatch)
  };

  const IID m_iid;
  const Kind m_kind;
  std::function<void(bool)> m_listener;
  std::vector<Connection> m_sinks;
  DWORD m_lastCookie = 0;
};

// An enumerator over a fixed set of connection points, which it holds (and so
// their owner) while it exists.
HRESULT EnumeratePoints(std::initializer_list<IConnectionPoint *> points, IEnumConnectionPoints **ppEnum);

} // namespace comkit
