// Automation arguments and results: coercion of what a caller passes (by
// value, by reference, or as a variant by reference, as script engines pass
// them) to the types a member declares, writing by-reference arguments back,
// and the variant of a property's value.
#pragma once

#include "control/automation/members.h"
#include "control/core/properties.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace quillon::control::automation {

// A method's arguments in call order; each in longs or strings by its type.
struct Arguments {
  long longs[kMaxMethodArgs] = {};
  std::wstring strings[kMaxMethodArgs];
};

// Reads a method's arguments. DISP_E_TYPEMISMATCH (argErr set) when one
// cannot be coerced.
HRESULT ReadArguments(const members::Member &m, DISPPARAMS &params, Arguments &args, UINT *argErr);
// Writes the by-reference arguments back to the caller's variants.
void WriteBack(const members::Member &m, DISPPARAMS &params, const Arguments &args);
// The value of a property write: a boolean as 0 or 1, a number as it is.
HRESULT ReadPutValue(const members::Member &m, DISPPARAMS &params, long &value, UINT *argErr);
// A property's value as a variant (VT_I4, VT_BOOL or VT_BSTR).
void ToVariant(const Value &value, VARIANT &out);

// A BSTR of the text; throws std::bad_alloc when the system has no memory.
BSTR ToBstr(const std::wstring &text);

} // namespace quillon::control::automation
