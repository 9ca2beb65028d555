#include "control/embedding/connection_point.h"

#include "control/core/opos.h"
#include "control/embedding/guids.h"

#include <atomic>
#include <new>

namespace quillon {

// ---- IConnectionPoint ----------------------------------------------------------------

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void **ppv) {
  if (!ppv) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID *iid) {
  if (!iid) return E_POINTER;
  *iid = kScannerEventsIid;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer **ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = &m_owner;
  m_owner.AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown *sink, DWORD *cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  try {
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(kScannerEventsIid, dispatch.PutVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, dispatch.PutVoid())))
      return CONNECT_E_CANNOTCONNECT;
    m_sinks.push_back({++m_lastCookie, std::move(dispatch)});
    *cookie = m_lastCookie;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
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

// ---- firing --------------------------------------------------------------------------

void ConnectionPoint::Fire(DISPID id, DISPPARAMS &params) {
  // A handler may advise or unadvise: the sinks of the moment, held.
  std::vector<ComPtr<IDispatch>> sinks;
  sinks.reserve(m_sinks.size());
  for (const Connection &c : m_sinks)
    sinks.push_back(c.dispatch);
  for (const ComPtr<IDispatch> &sink : sinks) {
    UINT argErr = 0;
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr);
  }
}

void ConnectionPoint::DataEvent(long status) {
  VARIANTARG arg;
  V_VT(&arg) = VT_I4;
  V_I4(&arg) = status;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  Fire(opos::EVENT_DATA, params);
}

void ConnectionPoint::StatusUpdateEvent(long status) {
  VARIANTARG arg;
  V_VT(&arg) = VT_I4;
  V_I4(&arg) = status;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  Fire(opos::EVENT_STATUSUPDATE, params);
}

// ErrorEvent(ResultCode, ResultCodeExtended, ErrorLocus, *ErrorResponse)
void ConnectionPoint::ErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long &errorResponse) {
  VARIANTARG args[4];
  V_VT(&args[3]) = VT_I4;
  V_I4(&args[3]) = resultCode;
  V_VT(&args[2]) = VT_I4;
  V_I4(&args[2]) = resultCodeExtended;
  V_VT(&args[1]) = VT_I4;
  V_I4(&args[1]) = errorLocus;
  V_VT(&args[0]) = VT_BYREF | VT_I4;
  V_I4REF(&args[0]) = &errorResponse;
  DISPPARAMS params{args, nullptr, 4, 0};
  Fire(opos::EVENT_ERROR, params);
}

// DirectIOEvent(EventNumber, *pData, *pString)
void ConnectionPoint::DirectIOEvent(long eventNumber, long &data, std::wstring &text) {
  ScopedBstr bstr;
  bstr.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  VARIANTARG args[3];
  V_VT(&args[2]) = VT_I4;
  V_I4(&args[2]) = eventNumber;
  V_VT(&args[1]) = VT_BYREF | VT_I4;
  V_I4REF(&args[1]) = &data;
  V_VT(&args[0]) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&args[0]) = bstr.InOut();
  DISPPARAMS params{args, nullptr, 3, 0};
  Fire(opos::EVENT_DIRECTIO, params);
  text.assign(bstr.Get() ? bstr.Get() : L"", bstr.Length());
}

// ---- the enumerator ----------------------------------------------------------------

namespace {

class PointEnumerator final : public IEnumConnectionPoints {
public:
  explicit PointEnumerator(IConnectionPoint *point, ULONG position = 0) : m_point(point), m_position(position) {}
  virtual ~PointEnumerator() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumConnectionPoints) {
      *ppv = static_cast<IEnumConnectionPoints *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG r = --m_refs;
    if (!r) delete this;
    return r;
  }
  STDMETHODIMP Next(ULONG count, IConnectionPoint **points, ULONG *fetched) override {
    if (!points || (count != 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && m_position == 0) {
      points[0] = m_point.Get();
      points[0]->AddRef();
      n = 1;
      m_position = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    m_position += count;
    return m_position <= 1 ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumConnectionPoints **ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) PointEnumerator(m_point.Get(), m_position);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
  }

private:
  std::atomic<ULONG> m_refs{1};
  ComPtr<IConnectionPoint> m_point;
  ULONG m_position;
};

} // namespace

HRESULT EnumerateOnePoint(IConnectionPoint *point, IEnumConnectionPoints **ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = new (std::nothrow) PointEnumerator(point);
  return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

} // namespace quillon
