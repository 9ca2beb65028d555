// A second process for the cross-process claim test: opens and claims the
// device named on the command line, signals "QuillonClaimHelperReady", holds
// the claim for the given milliseconds and closes. Exit code: the claim result.
#include "comkit/handles.h"

#include <ole2.h>
#include <windows.h>

#include <cstdlib>

int wmain(int argc, wchar_t **argv) {
  if (argc != 3) return 2;
  if (FAILED(OleInitialize(nullptr))) return 3;
  int result = 4;
  {
    const CLSID clsid = {0xCCB90182, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
    ComPtr<IDispatch> control;
    if (SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.PutVoid()))) {
      auto call = [&](DISPID id, VARIANT *arg) {
        DISPPARAMS dp{arg, nullptr, arg ? 1u : 0u, 0};
        ScopedVariant r;
        control->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &r, nullptr, nullptr);
        return V_VT(&r.Get()) == VT_I4 ? V_I4(&r.Get()) : -1;
      };
      ScopedVariant name;
      V_VT(&name) = VT_BSTR;
      V_BSTR(&name) = SysAllocString(argv[1]);
      VARIANT timeout;
      V_VT(&timeout) = VT_I4;
      V_I4(&timeout) = 5000;
      if (call(37, &name) == 0) {
        result = static_cast<int>(call(32, &timeout));
        if (result == 0) {
          const ScopedHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QuillonClaimHelperReady"));
          if (ready) SetEvent(ready.Get());
          Sleep(static_cast<DWORD>(_wtoi(argv[2])));
        }
        call(35, nullptr);
      }
    }
  }
  OleUninitialize();
  return result;
}
