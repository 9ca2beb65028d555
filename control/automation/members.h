// The automation layer's look-ups in the control's member table
// (control/members.h, which also finds a member by dispatch ID): a member by
// name as automation compares names, and the table's limits of a call. They
// belong to this layer, so they live in its namespace, not the table's.
#pragma once

#include "control/members.h"

#include <windows.h>
#include <ole2.h>

namespace quillon::control::automation {

// A call's arguments are read into these many slots of each kind (automation/arguments.h).
inline constexpr unsigned kMaxMethodArgs = 3;
static_assert(
    [] {
      for (const members::Member &m : members::kMembers)
        if (m.params.count > kMaxMethodArgs) return false;
      return true;
    }(),
    "a method takes at most kMaxMethodArgs arguments");

static_assert(sizeof(DISPID) == sizeof(long), "the table's dispatch IDs are DISPIDs");

const members::Member *FindByName(const wchar_t *name); // case-insensitive, as automation names are

} // namespace quillon::control::automation
