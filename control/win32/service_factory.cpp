// The services this build offers, made by name: see service_factory.h.
#include "control/win32/service_factory.h"

#include "control/win32/serial_scanner.h"
#include "control/win32/simulated_scanner.h"

#include <windows.h>

namespace quillon::control {

std::unique_ptr<IScannerService> MakeService(const std::wstring &serviceName) {
  if (CompareStringOrdinal(serviceName.c_str(), -1, kSimulatorService, -1, TRUE) == CSTR_EQUAL)
    return std::make_unique<SimulatedScanner>();
  if (CompareStringOrdinal(serviceName.c_str(), -1, kSerialService, -1, TRUE) == CSTR_EQUAL)
    return std::make_unique<SerialScanner>();
  return nullptr;
}

} // namespace quillon::control
