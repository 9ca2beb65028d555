// The control's IDispatch, apart from the COM object: see dispatch.h.
#include "control/automation/dispatch.h"

#include "control/automation/arguments.h"
#include "control/automation/members.h"

#include <new>
#include <stdexcept>

namespace quillon::control::automation {
namespace {

// The core method a member stands for.
long Call(Device &device, const members::Member &m, Arguments &a) {
  switch (m.id) {
  case members::Open:
    return device.Open(a.strings[0]);
  case members::Close:
    return device.Close();
  case members::ClaimDevice:
    return device.ClaimDevice(a.longs[0]);
  case members::ReleaseDevice:
    return device.ReleaseDevice();
  case members::CheckHealth:
    return device.CheckHealth(a.longs[0]);
  case members::ClearInput:
    return device.ClearInput();
  case members::ClearInputProperties:
    return device.ClearInputProperties();
  case members::DirectIO:
    return device.DirectIO(a.longs[0], a.longs[1], a.strings[2]);
  case members::RetrieveStatistics:
    return device.RetrieveStatistics(a.strings[0]);
  case members::UpdateStatistics:
    return device.UpdateStatistics(a.strings[0]);
  case members::ResetStatistics:
    return device.ResetStatistics(a.strings[0]);
  default:
    throw std::logic_error("a method of the table without a core call");
  }
}

HRESULT InvokeMethod(Device &device, const members::Member &m, DISPPARAMS &p, VARIANT *result, UINT *argErr) {
  if (p.cNamedArgs) return DISP_E_NONAMEDARGS;
  if (p.cArgs != m.params.count) return DISP_E_BADPARAMCOUNT;
  Arguments args;
  const HRESULT hr = ReadArguments(m, p, args, argErr);
  if (FAILED(hr)) return hr;
  const long rc = Call(device, m, args);
  WriteBack(m, p, args);
  if (result) {
    VariantInit(result);
    V_VT(result) = VT_I4;
    V_I4(result) = rc;
  }
  return S_OK;
}

HRESULT InvokeGet(Device &device, const members::Member &m, const DISPPARAMS &p, VARIANT *result) {
  if (p.cArgs) return DISP_E_BADPARAMCOUNT;
  const Value value = device.Get(m.prop);
  if (result) ToVariant(value, *result);
  return S_OK;
}

HRESULT InvokePut(Device &device, const members::Member &m, DISPPARAMS &p, UINT *argErr) {
  if (m.access != members::Access::ReadWrite) return DISP_E_MEMBERNOTFOUND;
  if (p.cArgs != 1) return DISP_E_BADPARAMCOUNT;
  if (p.cNamedArgs == 1 && !p.rgdispidNamedArgs) return E_INVALIDARG;
  if (p.cNamedArgs > 1 || (p.cNamedArgs == 1 && p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  long value = 0;
  const HRESULT hr = ReadPutValue(m, p, value, argErr);
  if (FAILED(hr)) return hr;
  device.Put(m.prop, value);
  return S_OK;
}

} // namespace

HRESULT GetIDsOfNames(LPOLESTR *names, UINT count, DISPID *ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  const members::Member *m = FindByName(names[0]);
  ids[0] = m ? m->id : DISPID_UNKNOWN;
  for (UINT i = 1; i < count; ++i)
    ids[i] = DISPID_UNKNOWN; // no named arguments
  return m && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT Invoke(Device &device, DISPID id, REFIID iid, WORD flags, DISPPARAMS *params, VARIANT *result, UINT *argErr) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  const members::Member *m = members::Find(id);
  if (!m) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{};
  DISPPARAMS &p = params ? *params : none;
  if (p.cArgs && !p.rgvarg) return E_INVALIDARG;
  try {
    Device::CallScope call(device);
    if (m->kind == members::Kind::Method)
      return (flags & DISPATCH_METHOD) ? InvokeMethod(device, *m, p, result, argErr) : DISP_E_MEMBERNOTFOUND;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return InvokePut(device, *m, p, argErr);
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) return InvokeGet(device, *m, p, result);
    return DISP_E_MEMBERNOTFOUND;
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

} // namespace quillon::control::automation
