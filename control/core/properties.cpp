// The device core's property rules, made at compile time from the control's
// member table, in the order of Prop so that a look-up is an index.
#include "control/core/properties.h"

#include <array>
#include <cstddef>

namespace quillon::control {
namespace {

constexpr std::array<PropertyRule, members::kPropertyCount> kRules = [] {
  std::array<PropertyRule, members::kPropertyCount> rules{};
  for (const members::Member &m : members::kMembers)
    if (m.kind == members::Kind::Property)
      rules[static_cast<std::size_t>(m.prop)] = {m.prop, m.type, m.access == members::Access::ReadWrite,
                                                 m.needs == members::Needs::Open};
  return rules;
}();

} // namespace

const PropertyRule &RuleOf(Prop prop) { return kRules[static_cast<std::size_t>(prop)]; }

} // namespace quillon::control
