#include "control/automation/typelib.h"

#include "control/guids.h"
#include "control/win32/module_instance.h"
#include "comkit/handles.h"

#include <oleauto.h>

#include <string>

namespace quillon::control {

HRESULT LoadScannerTypeInfo(REFGUID guid, ITypeInfo **ppti) {
  if (!ppti) return E_POINTER;
  *ppti = nullptr;
  try {
    const std::wstring path = ModulePath(); // the library is in this module
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    // Oleaut32 keeps a loaded library cached: loading again is cheap.
    ComPtr<ITypeLib> lib;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(guid, ppti);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RegisterScannerTypeLib(const wchar_t *path) {
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
  if (FAILED(hr)) return hr;
  std::wstring fullPath(path); // the API takes a writable string, and only reads it
  return RegisterTypeLib(lib.Get(), fullPath.data(), nullptr);
}

HRESULT UnregisterScannerTypeLib() {
  return UnRegisterTypeLib(kScannerTypeLibId, kScannerTypeLibMajor, kScannerTypeLibMinor, LANG_NEUTRAL,
                           sizeof(void *) == 8 ? SYS_WIN64 : SYS_WIN32);
}

} // namespace quillon::control
