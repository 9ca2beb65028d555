// The control's IDispatch, apart from the COM object that exposes it: names
// to dispatch IDs, and each call translated to the device core and back.
// Exceptions end here as HRESULTs.
#pragma once

#include "control/core/device.h"

#include <windows.h>
#include <oleauto.h>

namespace quillon::control::automation {

HRESULT GetIDsOfNames(LPOLESTR *names, UINT count, DISPID *ids);
HRESULT Invoke(Device &device, DISPID id, REFIID iid, WORD flags, DISPPARAMS *params, VARIANT *result, UINT *argErr);

} // namespace quillon::control::automation
