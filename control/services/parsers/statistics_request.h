// The statistics requests a device answers: which statistics a Retrieve or
// Reset names ("" all, "U_" the standard ones, "M_" the manufacturer's, or a
// comma-separated list of names and groups), and the "name=value" pairs of an
// Update. The statistics themselves are the device's table.
#pragma once

#include "control/core/service.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::control::stats {

struct StatisticName {
  const wchar_t *name;
  bool manufacturer;
};

// A statistic a request names: its index in the table, or -1 for a name the
// device does not know (a retrieval answers it with an empty value).
struct Requested {
  int index;
  std::wstring name;
};

// The statistics a request names, in the order named. A group adds only the
// statistics not listed yet; names are listed as given. In a retrieval the
// manufacturer's group also brings the statistic `repeatedByManufacturer`
// (an index, or -1 for none): the device's own report repeats it.
std::vector<Requested> ResolveNames(std::span<const StatisticName> table, std::wstring_view request, bool retrieve,
                                    int repeatedByManufacturer = -1);

// One pair of an Update: the statistics it sets and the value.
struct Assignment {
  std::vector<int> targets;
  long long value;
};

// The pairs of an Update request. E_ILLEGAL for a malformed request (no
// pairs, a pair without '=', a value that is not a whole number of zero or
// more); E_EXTENDED with EX_STATISTICS_ERROR for a name the device does not know.
Result ParseUpdate(std::span<const StatisticName> table, std::wstring_view request, std::vector<Assignment> &out);

// The statistics a Reset request names; E_EXTENDED with EX_STATISTICS_ERROR
// for a name the device does not know.
Result ParseReset(std::span<const StatisticName> table, std::wstring_view request, std::vector<int> &out);

} // namespace quillon::control::stats
