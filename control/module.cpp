// The DLL's entry points: class factory and self-registration (the class and
// its type library).
#include "comkit/class_factory.h"
#include "control/automation/typelib.h"
#include "control/guids.h"
#include "control/embedding/scanner_control.h"
#include "control/win32/module_instance.h"

#include <olectl.h>

#include <string>

namespace quillon::control {
namespace {

// The one factory, made on first use and released when the DLL is unloaded.
comkit::ClassFactory &Factory() {
  static const ComPtr<comkit::ClassFactory> factory = [] {
    ComPtr<comkit::ClassFactory> made;
    made.Attach(new comkit::ClassFactory(ScannerControl::Create, [](bool lock) {
      if (lock)
        ++g_moduleRefs;
      else
        --g_moduleRefs;
    }));
    return made;
  }();
  return *factory.Get();
}

std::wstring FileName(const std::wstring &path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

const std::wstring kClsidKey = std::wstring(L"CLSID\\") + kScannerClsidText;

bool SetValue(const std::wstring &key, const wchar_t *name, const std::wstring &value) {
  ScopedRegKey h;
  if (h.Create(HKEY_CLASSES_ROOT, key.c_str(), KEY_WRITE) != ERROR_SUCCESS) return false;
  return RegSetValueExW(h.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The server registered for the class now, or "" when there is none.
std::wstring RegisteredServer() {
  ScopedRegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, (kClsidKey + L"\\InprocServer32").c_str(), KEY_READ) != ERROR_SUCCESS) return {};
  wchar_t value[MAX_PATH * 2] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size) != ERROR_SUCCESS)
    return {};
  return value;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = L"";
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring TypeLibVersionText() {
  return std::to_wstring(kScannerTypeLibMajor) + L"." + std::to_wstring(kScannerTypeLibMinor);
}

bool RegisteredToUs() {
  const std::wstring server = RegisteredServer();
  return CompareStringOrdinal(FileName(server).c_str(), -1, kModuleFileName, -1, TRUE) == CSTR_EQUAL;
}

} // namespace
} // namespace quillon::control

using namespace quillon;
using namespace quillon::control;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != kScannerClsid) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    return Factory().QueryInterface(iid, ppv);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllCanUnloadNow() { return g_moduleRefs == 0 ? S_OK : S_FALSE; }

// Registers the class unless some other server already owns it.
STDAPI DllRegisterServer() {
  try {
    if (!RegisteredServer().empty() && !RegisteredToUs()) return SELFREG_E_CLASS;
    const std::wstring path = ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    const bool ok = SetValue(kClsidKey, nullptr, L"OPOS Scanner Control") &&
                    SetValue(kClsidKey + L"\\InprocServer32", nullptr, path) &&
                    SetValue(kClsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                    SetValue(kClsidKey + L"\\ProgID", nullptr, kScannerProgId) &&
                    SetValue(kClsidKey + L"\\Control", nullptr, L"") &&
                    SetValue(kClsidKey + L"\\TypeLib", nullptr, GuidText(kScannerTypeLibId)) &&
                    SetValue(kClsidKey + L"\\Version", nullptr, TypeLibVersionText()) &&
                    SetValue(kScannerProgId, nullptr, L"OPOS Scanner Control") &&
                    SetValue(std::wstring(kScannerProgId) + L"\\CLSID", nullptr, kScannerClsidText);
    if (!ok) return SELFREG_E_CLASS;
    return SUCCEEDED(RegisterScannerTypeLib(path.c_str())) ? S_OK : SELFREG_E_TYPELIB;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// Removes the registration only where it is ours.
STDAPI DllUnregisterServer() {
  try {
    if (!RegisteredToUs()) return S_FALSE;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kScannerProgId);
    UnregisterScannerTypeLib();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}
