// The console driver's injector, see injector.h.
#include "driver/injector.h"

#include "control/inject/client.h"

namespace inject = quillon::inject;

HWND Injector::Window() const { return inject::FindFirstWindow(m_device.c_str()); }

bool Injector::Label(long type, const std::string &data) const {
  return inject::Send(Window(), inject::Labels, inject::LabelPayload(static_cast<std::int32_t>(type), data, data))
             .reply == 1;
}

bool Injector::Numbers(inject::Command command, std::int32_t value, std::int32_t extra, std::int32_t first) const {
  return inject::SendNumbers(Window(), command, value, extra, first).reply == 1;
}
