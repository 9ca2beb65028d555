#include "control/win32/registry_directory.h"

#include "control/win32/service_factory.h"
#include "comkit/handles.h"

#include <cstring>
#include <vector>

namespace quillon::control {
namespace {

constexpr wchar_t kDeviceKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\";

} // namespace

bool RegistryDirectory::Find(const std::wstring &deviceName, ServiceConfig &config) {
  ScopedRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, (kDeviceKey + deviceName).c_str(), KEY_READ) != ERROR_SUCCESS) return false;
  config.deviceName = deviceName;
  std::vector<wchar_t> valueName(16384);
  std::vector<BYTE> data(4096);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(valueName.size());
    DWORD dataSize = static_cast<DWORD>(data.size() - sizeof(wchar_t));
    DWORD type = 0;
    const LSTATUS s =
        RegEnumValueW(key.Get(), i, valueName.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
    if (s == ERROR_NO_MORE_ITEMS) break;
    if (s == ERROR_MORE_DATA) continue; // a value too large to be configuration
    if (s != ERROR_SUCCESS) break;
    const std::wstring valueNameText(valueName.data(), nameLength);
    if (type == REG_DWORD && dataSize == sizeof(DWORD)) {
      DWORD v;
      memcpy(&v, data.data(), sizeof v);
      config.numbers[valueNameText] = v;
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      data[dataSize] = 0;
      data[dataSize + 1] = 0;
      std::wstring text(reinterpret_cast<const wchar_t *>(data.data()), dataSize / sizeof(wchar_t));
      while (!text.empty() && text.back() == 0)
        text.pop_back();
      if (valueNameText.empty())
        config.serviceName = text;
      else
        config.texts[valueNameText] = text;
    }
  }
  return true;
}

std::unique_ptr<IScannerService> RegistryDirectory::Create(const std::wstring &serviceName) {
  return MakeService(serviceName);
}

} // namespace quillon::control
