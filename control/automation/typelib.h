// The control's type library, embedded in its DLL as TYPELIB 1 (built from the
// member table): type information for IDispatch and IProvideClassInfo, and
// its registration beside the class.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace quillon::control {

// The library's type information for one of its entries: the coclass
// (kScannerClsid), the dispinterface (kScannerDispatchIid) or the events
// (kScannerEventsIid).
HRESULT LoadScannerTypeInfo(REFGUID guid, ITypeInfo **ppti);

// Registers the library from the DLL at path (TypeLib and Interface keys of
// this bitness), or removes that registration.
HRESULT RegisterScannerTypeLib(const wchar_t *path);
HRESULT UnregisterScannerTypeLib();

} // namespace quillon::control
