// Firing the device core's events at the control's connection point.
#include "control/embedding/connection_point.h"

#include "control/core/opos.h"
#include "control/guids.h"

namespace quillon::control {

EventSource::EventSource(IUnknown &owner) : m_point(owner, kScannerEventsIid) {}

// ---- firing --------------------------------------------------------------------------

namespace {

void FireStatus(comkit::ConnectionPoint &point, DISPID id, long status) {
  VARIANTARG arg;
  V_VT(&arg) = VT_I4;
  V_I4(&arg) = status;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  point.Fire(id, params);
}

} // namespace

void EventSource::DataEvent(long status) { FireStatus(m_point, opos::EVENT_DATA, status); }

void EventSource::StatusUpdateEvent(long status) { FireStatus(m_point, opos::EVENT_STATUSUPDATE, status); }

// ErrorEvent(ResultCode, ResultCodeExtended, ErrorLocus, *ErrorResponse)
void EventSource::ErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long &errorResponse) {
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
  m_point.Fire(opos::EVENT_ERROR, params);
}

// DirectIOEvent(EventNumber, *pData, *pString)
void EventSource::DirectIOEvent(long eventNumber, long &data, std::wstring &text) {
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
  m_point.Fire(opos::EVENT_DIRECTIO, params);
  text.assign(bstr.Get() ? bstr.Get() : L"", bstr.Length());
}

} // namespace quillon::control
