// Automation arguments and results: see arguments.h.
#include "control/automation/arguments.h"

#include "comkit/handles.h"

#include <new>

namespace quillon::control::automation {
namespace {

std::wstring FromBstr(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// Coerces an argument (by value or by reference) to the wanted type.
HRESULT Coerce(const VARIANT &in, VARTYPE vt, VARIANT &out) {
  VariantInit(&out);
  return VariantChangeType(&out, const_cast<VARIANT *>(&in), 0, vt);
}

// The variant that a by-reference argument really refers to, for
// VT_BYREF|VT_VARIANT (as script engines pass them).
VARIANT &Inner(VARIANT &v) {
  if (V_VT(&v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v)) return *V_VARIANTREF(&v);
  return v;
}

bool IsText(members::Arg t) { return t == members::Arg::String || t == members::Arg::StringRef; }

} // namespace

BSTR ToBstr(const std::wstring &text) {
  BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!b) throw std::bad_alloc();
  return b;
}

HRESULT ReadArguments(const members::Member &m, DISPPARAMS &p, Arguments &args, UINT *argErr) {
  for (UINT i = 0; i < m.params.count; ++i) {
    VARIANT &arg = Inner(p.rgvarg[m.params.count - 1 - i]);
    const bool text = IsText(m.params[i].type);
    if (text && (V_VT(&arg) == VT_BSTR || V_VT(&arg) == (VT_BYREF | VT_BSTR))) {
      args.strings[i] = FromBstr(V_VT(&arg) == VT_BSTR ? V_BSTR(&arg) : (V_BSTRREF(&arg) ? *V_BSTRREF(&arg) : nullptr));
      continue;
    }
    ScopedVariant v;
    if (FAILED(Coerce(arg, text ? VT_BSTR : VT_I4, v.Get()))) {
      if (argErr) *argErr = m.params.count - 1 - i;
      return DISP_E_TYPEMISMATCH;
    }
    if (text)
      args.strings[i] = FromBstr(V_BSTR(&v.Get()));
    else
      args.longs[i] = V_I4(&v.Get());
  }
  return S_OK;
}

void WriteBack(const members::Member &m, DISPPARAMS &p, const Arguments &args) {
  for (UINT i = 0; i < m.params.count; ++i) {
    VARIANT &given = p.rgvarg[m.params.count - 1 - i];
    VARIANT &arg = Inner(given);
    const bool viaVariant = &arg != &given; // a variant by reference: its value is replaced
    if (m.params[i].type == members::Arg::LongRef) {
      if (V_VT(&arg) == (VT_BYREF | VT_I4) && V_I4REF(&arg)) {
        *V_I4REF(&arg) = args.longs[i];
      } else if (viaVariant) {
        VariantClear(&arg);
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = args.longs[i];
      }
    } else if (m.params[i].type == members::Arg::StringRef) {
      if (V_VT(&arg) == (VT_BYREF | VT_BSTR) && V_BSTRREF(&arg)) {
        BSTR fresh = ToBstr(args.strings[i]);
        SysFreeString(*V_BSTRREF(&arg));
        *V_BSTRREF(&arg) = fresh;
      } else if (viaVariant) {
        BSTR fresh = ToBstr(args.strings[i]);
        VariantClear(&arg);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = fresh;
      }
    }
  }
}

HRESULT ReadPutValue(const members::Member &m, DISPPARAMS &p, long &value, UINT *argErr) {
  const bool flag = m.type == ValueType::Bool;
  ScopedVariant v;
  if (FAILED(Coerce(p.rgvarg[0], flag ? VT_BOOL : VT_I4, v.Get()))) {
    if (argErr) *argErr = 0;
    return DISP_E_TYPEMISMATCH;
  }
  value = flag ? (V_BOOL(&v.Get()) != VARIANT_FALSE ? 1 : 0) : V_I4(&v.Get());
  return S_OK;
}

void ToVariant(const Value &value, VARIANT &out) {
  VariantInit(&out);
  switch (value.type) {
  case ValueType::Bool:
    V_VT(&out) = VT_BOOL;
    V_BOOL(&out) = value.flag ? VARIANT_TRUE : VARIANT_FALSE;
    break;
  case ValueType::String:
    V_BSTR(&out) = ToBstr(value.text);
    V_VT(&out) = VT_BSTR;
    break;
  default:
    V_VT(&out) = VT_I4;
    V_I4(&out) = value.number;
  }
}

} // namespace quillon::control::automation
