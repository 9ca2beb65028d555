// Sample labels of the simulated scanner's demo feed, one per symbology, with
// correct check digits where the symbology has one.
#pragma once

#include <span>

namespace quillon::control {

struct DemoLabel {
  const char *data;
  long type;
  const wchar_t *symbology;
};

std::span<const DemoLabel> DemoLabels();

} // namespace quillon::control
