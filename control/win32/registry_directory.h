// The installed devices as the registry has them: each device is a subkey of
// HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\Scanner whose default value names
// its service and whose other values are the service's configuration.
#pragma once

#include "control/core/platform.h"

namespace quillon::control {

class RegistryDirectory final : public IDeviceDirectory {
public:
  bool Find(const std::wstring &deviceName, ServiceConfig &config) override;
  std::unique_ptr<IScannerService> Create(const std::wstring &serviceName) override;
};

} // namespace quillon::control
