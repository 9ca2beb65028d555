#include "control/automation/typelib.h"

#include "control/embedding/guids.h"
#include "framework/com.h"

#include <oleauto.h>

#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quillon {

namespace {

// This module's own file, which holds the library.
std::wstring ThisModule() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

} // namespace

HRESULT LoadScannerTypeInfo(REFGUID guid, ITypeInfo **ppti) {
  if (!ppti) return E_POINTER;
  *ppti = nullptr;
  try {
    const std::wstring path = ThisModule();
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

} // namespace quillon
