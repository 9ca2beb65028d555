// The system's millisecond tick count as the services' clock.
#pragma once

#include "control/core/platform.h"

#include <windows.h>

namespace quillon::control {

class TickClock final : public IClock {
public:
  std::uint64_t NowMs() const override { return GetTickCount64(); }
};

} // namespace quillon::control
