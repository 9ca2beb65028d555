#include "dispatch.h"

#include "comkit/handles.h"
#include "winapp.h"

#include <vector>

namespace {

// Builds the VARIANT for one argument. Fresh BSTRs made for VT_BSTR
// arguments are owned by the VARIANT and freed after the call.
HRESULT MakeArgument(const DispatchArg &arg, VARIANT &v) {
  VariantInit(&v);
  switch (arg.vt) {
  case VT_I4:
    v.vt = VT_I4;
    v.lVal = arg.lVal;
    return S_OK;
  case VT_BOOL:
    v.vt = VT_BOOL;
    v.boolVal = arg.lVal ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  case VT_BSTR:
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(arg.pszVal ? arg.pszVal : L"");
    return v.bstrVal ? S_OK : E_OUTOFMEMORY;
  case VT_BYREF | VT_I4:
    v.vt = VT_BYREF | VT_I4;
    v.plVal = arg.plVal;
    return S_OK;
  case VT_BYREF | VT_BSTR:
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = arg.pbstrVal;
    return S_OK;
  default:
    return E_INVALIDARG;
  }
}

// Only the VARIANTs made for by-value strings own anything; by-reference
// ones point at the caller's storage and are left alone.
void ClearArgument(VARIANT &v) {
  if (v.vt == VT_BSTR) VariantClear(&v);
}

CString OperationName(DISPID dispid, const wchar_t *pszOperation) {
  CString s;
  if (pszOperation)
    s.Format(L"%s (dispatch ID %ld)", pszOperation, static_cast<long>(dispid));
  else
    s.Format(L"dispatch ID %ld", static_cast<long>(dispid));
  return s;
}

} // namespace

// Texts for COM and automation failures that the system may have no message
// for (Wine has none for most of them).
struct KnownError {
  HRESULT hr;
  const wchar_t *pszText;
};
const KnownError kKnownErrors[] = {
    {REGDB_E_CLASSNOTREG, L"Class not registered."},
    {CLASS_E_CLASSNOTAVAILABLE, L"The class is not available from its server."},
    {CO_E_DLLNOTFOUND, L"The server of the class was not found."},
    {CO_E_ERRORINDLL, L"The server of the class could not be loaded."},
    {CO_E_NOTINITIALIZED, L"OLE has not been initialised."},
    {E_NOINTERFACE, L"The object does not support the interface asked for."},
    {E_POINTER, L"Invalid pointer."},
    {E_FAIL, L"Unspecified error."},
    {E_UNEXPECTED, L"Catastrophic failure."},
    {E_NOTIMPL, L"Not implemented."},
    {E_OUTOFMEMORY, L"Out of memory."},
    {E_INVALIDARG, L"One or more arguments are invalid."},
    {DISP_E_MEMBERNOTFOUND, L"The control has no such member."},
    {DISP_E_UNKNOWNNAME, L"Unknown name."},
    {DISP_E_TYPEMISMATCH, L"Type mismatch."},
    {DISP_E_BADPARAMCOUNT, L"Invalid number of parameters."},
    {DISP_E_PARAMNOTFOUND, L"Parameter not found."},
    {DISP_E_BADVARTYPE, L"Bad variable type."},
    {DISP_E_OVERFLOW, L"Out of present range."},
    {DISP_E_EXCEPTION, L"The control raised an exception."},
    {RPC_E_DISCONNECTED, L"The object has disconnected from its clients."},
    {RPC_E_SERVERFAULT, L"The server threw an exception."},
    {RPC_E_WRONG_THREAD, L"The interface was called on the wrong thread."},
};

CString ErrorText(HRESULT hr) {
  wchar_t *psz = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<LPWSTR>(&psz), 0, nullptr);
  CString text;
  if (n && psz) {
    std::wstring s(psz, n);
    while (!s.empty() && (s.back() == L'\r' || s.back() == L'\n' || s.back() == L' '))
      s.pop_back();
    text = CString(s);
  }
  LocalFree(psz);
  if (text.IsEmpty())
    for (const KnownError &known : kKnownErrors)
      if (known.hr == hr) text = known.pszText;
  CString code;
  code.Format(L"0x%08lX", static_cast<unsigned long>(hr));
  return text.IsEmpty() ? code : text + L" (" + code + L")";
}

CString CDispatchException::Message() const {
  return L"The call to " + m_strOperation + L" failed.\n\n" + m_strDescription;
}

void InvokeDispatch(IDispatch *pDispatch, DISPID dispid, WORD wFlags, VARTYPE vtRet, void *pvRet,
                    std::initializer_list<DispatchArg> args, const wchar_t *pszOperation) {
  if (!pDispatch) throw CDispatchException(E_POINTER, OperationName(dispid, pszOperation), L"No control is attached.");

  // rgvarg holds the arguments last to first.
  std::vector<VARIANT> rgvarg(args.size());
  size_t i = args.size();
  HRESULT hr = S_OK;
  size_t made = 0;
  for (const DispatchArg &arg : args) {
    hr = MakeArgument(arg, rgvarg[--i]);
    if (FAILED(hr)) break;
    ++made;
  }
  auto clearArgs = [&] {
    for (size_t k = 0; k < made; ++k)
      ClearArgument(rgvarg[args.size() - 1 - k]);
  };
  if (FAILED(hr)) {
    clearArgs();
    throw CDispatchException(hr, OperationName(dispid, pszOperation), ErrorText(hr));
  }

  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{rgvarg.data(), nullptr, static_cast<UINT>(rgvarg.size()), 0};
  if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  ScopedVariant result;
  EXCEPINFO excep{};
  UINT argErr = 0;
  hr = pDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, vtRet == VT_EMPTY ? nullptr : &result,
                         &excep, &argErr);
  clearArgs();
  if (FAILED(hr)) {
    CString description;
    if (hr == DISP_E_EXCEPTION) {
      if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
      if (excep.bstrDescription && *excep.bstrDescription)
        description = excep.bstrDescription;
      else if (excep.scode == 0 && excep.wCode != 0)
        description.Format(L"The control raised its error %u.", static_cast<unsigned>(excep.wCode));
      else
        description = ErrorText(excep.scode ? excep.scode : hr);
    } else {
      description = ErrorText(hr);
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    throw CDispatchException(hr, OperationName(dispid, pszOperation), description);
  }
  if (vtRet == VT_EMPTY) return;

  // A control may answer in a neighbouring type; coerce to the one asked for.
  ScopedVariant coerced;
  hr = VariantChangeType(&coerced, &result, 0, vtRet == VT_BOOL ? static_cast<VARTYPE>(VT_I4) : vtRet);
  if (FAILED(hr))
    throw CDispatchException(hr, OperationName(dispid, pszOperation),
                             L"The control's answer has the wrong type: " + ErrorText(hr));
  switch (vtRet) {
  case VT_I4:
    *static_cast<long *>(pvRet) = coerced.Get().lVal;
    break;
  case VT_BOOL:
    *static_cast<long *>(pvRet) = coerced.Get().lVal != 0 ? 1 : 0;
    break;
  case VT_BSTR: {
    BSTR b = coerced.Get().bstrVal;
    *static_cast<CString *>(pvRet) = CString(b ? b : L"", static_cast<int>(SysStringLen(b)));
    break;
  }
  default:
    throw CDispatchException(E_INVALIDARG, OperationName(dispid, pszOperation), L"Unsupported result type.");
  }
}

void ReportException(HWND hwndOwner, const std::exception &e) noexcept {
  const HWND owner = AfxGetModalOwner(hwndOwner);
  try {
    CString text;
    if (auto *pDisp = dynamic_cast<const CDispatchException *>(&e)) {
      text = pDisp->Message();
    } else if (dynamic_cast<const std::bad_alloc *>(&e)) {
      text = L"Out of memory.";
    } else {
      text = L"An unexpected error occurred.";
    }
    MessageBoxW(owner, text, AfxGetAppName(), MB_OK | MB_ICONEXCLAMATION);
  } catch (...) {
    // No memory for the text: say so without allocating.
    const wchar_t *caption = nullptr;
    try {
      caption = AfxGetAppName();
    } catch (...) {
    }
    MessageBoxW(owner, L"Out of memory.", caption, MB_OK | MB_ICONEXCLAMATION);
  }
}
