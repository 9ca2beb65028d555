// What every rule uses: expectations that end it with a sentence, reaching
// the open, claimed and enabled states, scans and the second process's claim.
#include "check/rules.h"

#include "console/result_names.h"

namespace {

std::wstring Quoted(const std::wstring &s) { return L"\"" + s + L"\""; }

} // namespace

std::wstring ResultName(long code) {
  if (code == 0) return L"OPOS_SUCCESS";
  const CString name = ResultCodeName(code);
  std::wstring text = static_cast<const wchar_t *>(name);
  while (!text.empty() && text.back() == L' ')
    text.pop_back();
  // State names share the small numbers; a result is never one of them.
  if (text.rfind(L"OPOS_S_", 0) == 0) return std::to_wstring(code);
  return text;
}

RuleContext::~RuleContext() {
  if (m_holding) {
    try {
      m_holder.Release();
    } catch (...) {
    }
  }
}

void RuleContext::ExpectCode(const std::wstring &what, long expected, long seen) {
  if (seen != expected) Fail(what + L": expected " + ResultName(expected) + L", saw " + ResultName(seen));
}

void RuleContext::ExpectResultCode(const std::wstring &what, long expected) {
  ExpectCode(what + L" (ResultCode)", expected, s.GetResultCode());
}

void RuleContext::ExpectValue(const std::wstring &what, long expected, long seen) {
  if (seen != expected) Fail(what + L": expected " + std::to_wstring(expected) + L", saw " + std::to_wstring(seen));
}

void RuleContext::ExpectText(const std::wstring &what, const std::wstring &expected, const std::wstring &seen) {
  if (seen != expected) Fail(what + L": expected " + Quoted(expected) + L", saw " + Quoted(seen));
}

void RuleContext::Open() { ExpectCode(L"Open(" + Quoted(o.device) + L")", 0, s.Open(o.device)); }

void RuleContext::Claim() { ExpectCode(L"ClaimDevice(2000)", 0, s.ClaimDevice(2000)); }

void RuleContext::Enable() {
  s.SetDeviceEnabled(1);
  ExpectResultCode(L"DeviceEnabled = true", 0);
}

void RuleContext::Scan() {
  const long before = s.GetDataCount();
  std::wstring why;
  const int number = ++m_scanNumber;
  switch (m_labels.Deliver(number, m_scanTotal, why)) {
  case LabelSource::Fed::Unavailable:
    Skip(why);
  case LabelSource::Fed::Refused:
    Fail(why);
  case LabelSource::Fed::Sent:
    break;
  }
  long count = before;
  if (s.PumpUntil([&] { return (count = s.GetDataCount()) > before; }, m_labels.WaitMs())) return;
  if (m_labels.Person()) Skip(L"needs a scan: none came within " + std::to_wstring(m_labels.WaitMs() / 1000) + L" s");
  Fail(L"DataCount stayed at " + std::to_wstring(count) + L" after a label was read (expected " +
       std::to_wstring(before + 1) + L")");
}

long RuleContext::Hold(long timeout) {
  m_holding = true;
  return m_holder.Hold(timeout);
}

void RuleContext::ReleaseHold() {
  if (!m_holding) return;
  m_holding = false;
  m_holder.Release();
}
