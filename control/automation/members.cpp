// The automation layer's look-ups in the control's member table.
#include "control/automation/members.h"

namespace quillon::control::automation {

const members::Member *FindByName(const wchar_t *name) {
  if (!name) return nullptr;
  for (const members::Member &m : members::kMembers)
    if (CompareStringOrdinal(m.name, -1, name, -1, TRUE) == CSTR_EQUAL) return &m;
  return nullptr;
}

} // namespace quillon::control::automation
