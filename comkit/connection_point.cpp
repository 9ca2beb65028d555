// The connection point and the point enumerator of connection_point.h.
#include "comkit/connection_point.h"

namespace comkit {

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID *iid) {
  if (!iid) return E_POINTER;
  *iid = m_iid;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer **ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = nullptr;
  return Owner().QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(ppCPC));
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown *sink, DWORD *cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  try {
    ComPtr<IUnknown> held;
    if (FAILED(sink->QueryInterface(m_iid, held.PutVoid())) &&
        (m_kind != Kind::Dispinterface || FAILED(sink->QueryInterface(IID_IDispatch, held.PutVoid()))))
      return CONNECT_E_CANNOTCONNECT;
    m_sinks.push_back({++m_lastCookie, std::move(held)});
    *cookie = m_lastCookie;
    if (m_listener) m_listener(true);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  try {
    if (m_listener) m_listener(false);
  } catch (...) {
    return E_UNEXPECTED;
  }
  for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
    if (it->cookie == cookie) {
      m_sinks.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections **ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

int ConnectionPoint::Fire(DISPID id, DISPPARAMS &params) {
  if (m_kind != Kind::Dispinterface) return 0;
  // A handler may advise or unadvise: the sinks of the moment, held.
  std::vector<ComPtr<IUnknown>> sinks;
  sinks.reserve(m_sinks.size());
  for (const Connection &c : m_sinks)
    sinks.push_back(c.sink);
  int delivered = 0;
  for (const ComPtr<IUnknown> &sink : sinks) {
    // A dispinterface's pointer is an IDispatch pointer.
    auto *dispatch = static_cast<IDispatch *>(sink.Get());
    UINT argErr = 0;
    if (SUCCEEDED(
            dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr)))
      ++delivered;
  }
  return delivered;
}

namespace {

class PointEnumerator final : public Object<PointEnumerator, IEnumConnectionPoints> {
public:
  PointEnumerator(std::vector<ComPtr<IConnectionPoint>> points, size_t position)
      : m_points(std::move(points)), m_position(position) {}

  STDMETHODIMP Next(ULONG count, IConnectionPoint **points, ULONG *fetched) override {
    if (!points || (count != 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && m_position < m_points.size(); ++n, ++m_position) {
      points[n] = m_points[m_position].Get();
      points[n]->AddRef();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    m_position += count;
    return m_position <= m_points.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumConnectionPoints **ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    try {
      *ppEnum = new PointEnumerator(m_points, m_position);
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

private:
  const std::vector<ComPtr<IConnectionPoint>> m_points;
  size_t m_position;
};

} // namespace

HRESULT EnumeratePoints(std::initializer_list<IConnectionPoint *> points, IEnumConnectionPoints **ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  try {
    std::vector<ComPtr<IConnectionPoint>> held;
    for (IConnectionPoint *point : points)
      held.emplace_back(point);
    *ppEnum = new PointEnumerator(std::move(held), 0);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

} // namespace comkit
