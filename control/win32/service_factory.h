// The services this build offers, by the name a device entry gives.
#pragma once

#include "control/core/service.h"

#include <memory>
#include <string>

namespace quillon::control {

// The service named by a device entry's default value (case-blind); nullptr
// when this build has none by that name.
std::unique_ptr<IScannerService> MakeService(const std::wstring &serviceName);

} // namespace quillon::control
