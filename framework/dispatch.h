// Late-bound calls on a hosted control's IDispatch, and the default report of
// a failed call.
#pragma once

#include "cstring.h"

#include <windows.h>
#include <oleauto.h>

#include <exception>
#include <initializer_list>

// One argument of a late-bound call: its variant type and its value.
//   VT_I4              long
//   VT_BOOL            long, any non-zero value goes out as VARIANT_TRUE
//   VT_BSTR            const wchar_t* (sent as a fresh BSTR, freed after the call)
//   VT_BYREF | VT_I4   long*, in/out
//   VT_BYREF | VT_BSTR BSTR*, in/out: the callee may free and replace it; the
//                      caller owns whatever BSTR it holds afterwards
struct DispatchArg {
  VARTYPE vt;
  union {
    long lVal;
    const wchar_t *pszVal;
    long *plVal;
    BSTR *pbstrVal;
  };
  DispatchArg(VARTYPE t, long v) : vt(t), lVal(v) {}
  DispatchArg(VARTYPE t, const wchar_t *v) : vt(t), pszVal(v) {}
  DispatchArg(VARTYPE t, long *v) : vt(t), plVal(v) {}
  DispatchArg(VARTYPE t, BSTR *v) : vt(t), pbstrVal(v) {}
};

// A dispatch call that failed as a call (not a device result code): the
// control is missing, the HRESULT is a failure, or the control raised an
// exception through EXCEPINFO.
class CDispatchException : public std::exception {
public:
  CDispatchException(HRESULT hr, CString operation, CString description)
      : m_hr(hr), m_strOperation(std::move(operation)), m_strDescription(std::move(description)) {}
  const char *what() const noexcept override { return "dispatch call failed"; }

  HRESULT m_hr;
  CString m_strOperation;   // e.g. "Open (dispatch ID 37)"
  CString m_strDescription; // the control's EXCEPINFO text or the system's text
  // The full text the default error report shows.
  CString Message() const;
};

// Performs one call. vtRet is VT_EMPTY (no result; pvRet ignored), VT_I4
// (pvRet is long*), VT_BOOL (long*, exactly 0 or 1) or VT_BSTR (CString*).
// The result is coerced to the requested type. Throws CDispatchException.
void InvokeDispatch(IDispatch *pDispatch, DISPID dispid, WORD wFlags, VARTYPE vtRet, void *pvRet,
                    std::initializer_list<DispatchArg> args, const wchar_t *pszOperation);

// The system's text for an HRESULT ("0x80004005" when it has none).
CString ErrorText(HRESULT hr);

// The framework's default error reporting: a message box over hwndOwner (or
// over the modal window in front of it). Never throws: every callback that
// Windows calls ends its catch here.
void ReportException(HWND hwndOwner, const std::exception &e) noexcept;
