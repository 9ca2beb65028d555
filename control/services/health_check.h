// The CheckHealth text of a device that is online or not, for the services.
#pragma once

#include "control/core/opos.h"

#include <string>

namespace quillon::control {

// A device without an interactive test answers that level E_ILLEGAL, as it
// does an unknown level.
inline long HealthCheckText(long level, bool online, bool interactive, std::wstring &text) {
  switch (level) {
  case opos::CH_INTERNAL:
    text = L"Internal HCheck: Successful";
    return opos::SUCCESS;
  case opos::CH_EXTERNAL:
    text = online ? L"External HCheck: Successful" : L"External HCheck: Not Responding";
    return opos::SUCCESS;
  case opos::CH_INTERACTIVE:
    if (!interactive) return opos::E_ILLEGAL;
    text = online ? L"Interactive HCheck: Complete" : L"Interactive HCheck: Not Responding";
    return opos::SUCCESS;
  default:
    return opos::E_ILLEGAL;
  }
}

} // namespace quillon::control
