#include "control/services/parsers/statistics_request.h"

#include "control/core/opos.h"
#include "control/services/parsers/text.h"

#include <algorithm>

namespace quillon::control::stats {
namespace {

int Find(std::span<const StatisticName> table, std::wstring_view name) {
  for (size_t i = 0; i < table.size(); ++i)
    if (name == table[i].name) return static_cast<int>(i);
  return -1;
}

bool Listed(const std::vector<Requested> &list, int index) {
  return std::any_of(list.begin(), list.end(), [&](const Requested &r) { return r.index == index; });
}

enum class Group { All, Standard, Manufacturer };

void AddGroup(std::span<const StatisticName> table, Group group, std::vector<Requested> &out) {
  for (size_t i = 0; i < table.size(); ++i) {
    const bool wanted = group == Group::All || (group == Group::Manufacturer) == table[i].manufacturer;
    if (wanted && !Listed(out, static_cast<int>(i))) out.push_back({static_cast<int>(i), table[i].name});
  }
}

constexpr Result kIllegal{opos::E_ILLEGAL, 0};
constexpr Result kUnknownName{opos::E_EXTENDED, opos::EX_STATISTICS_ERROR};

} // namespace

std::vector<Requested> ResolveNames(std::span<const StatisticName> table, std::wstring_view request, bool retrieve,
                                    int repeatedByManufacturer) {
  std::vector<Requested> out;
  const std::wstring all = text::Trim(request);
  if (all.empty()) {
    AddGroup(table, Group::All, out);
    return out;
  }
  for (std::wstring &name : text::SplitList(all, L',')) {
    if (name == L"U_") {
      AddGroup(table, Group::Standard, out);
    } else if (name == L"M_") {
      AddGroup(table, Group::Manufacturer, out);
      if (retrieve && repeatedByManufacturer >= 0 && static_cast<size_t>(repeatedByManufacturer) < table.size() &&
          !Listed(out, repeatedByManufacturer))
        out.push_back({repeatedByManufacturer, table[static_cast<size_t>(repeatedByManufacturer)].name});
    } else {
      const int index = Find(table, name);
      out.push_back({index, std::move(name)});
    }
  }
  return out;
}

Result ParseUpdate(std::span<const StatisticName> table, std::wstring_view request, std::vector<Assignment> &out) {
  out.clear();
  if (text::Trim(request).empty()) return kIllegal;
  for (const std::wstring &pair : text::SplitList(request, L',')) {
    const size_t eq = pair.find(L'=');
    if (eq == std::wstring::npos) return kIllegal;
    long long value = 0;
    if (!text::ParseInteger(text::Trim(std::wstring_view(pair).substr(eq + 1)), value) || value < 0) return kIllegal;
    Assignment assignment{{}, value};
    for (const Requested &r : ResolveNames(table, std::wstring_view(pair).substr(0, eq), false)) {
      if (r.index < 0) return kUnknownName;
      assignment.targets.push_back(r.index);
    }
    out.push_back(std::move(assignment));
  }
  return {};
}

Result ParseReset(std::span<const StatisticName> table, std::wstring_view request, std::vector<int> &out) {
  out.clear();
  for (const Requested &r : ResolveNames(table, request, false)) {
    if (r.index < 0) return kUnknownName;
    out.push_back(r.index);
  }
  return {};
}

} // namespace quillon::control::stats
