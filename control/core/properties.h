// The control's properties as the device core knows them: each one's type,
// whether the application may write it, and whether reading it needs the
// device open (such a read answers E_CLOSED while closed and sets
// ResultCode), all taken from the control's member table (control/members.h).
#pragma once

#include "control/members.h"

#include <string>

namespace quillon::control {

struct PropertyRule {
  Prop prop;
  ValueType type;
  bool writable;
  bool needsOpen;
};

// The rule of a property; every Prop has one.
const PropertyRule &RuleOf(Prop prop);

// A property's value, of the property's type.
struct Value {
  ValueType type = ValueType::Long;
  long number = 0;
  bool flag = false;
  std::wstring text;
};

} // namespace quillon::control
