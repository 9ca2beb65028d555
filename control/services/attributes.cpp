#include "control/services/attributes.h"

#include "control/services/parsers/text.h"

namespace quillon::control::attributes {
namespace {

constexpr AttributeInfo kAttributes[] = {
    {1, L'F', L"UPC-A enabled", L"True", true, true},
    {2, L'F', L"UPC-E enabled", L"True", true, true},
    {3, L'F', L"EAN-8 enabled", L"True", true, true},
    {4, L'F', L"EAN-13 enabled", L"True", true, true},
    {8, L'F', L"Code 39 enabled", L"True", true, true},
    {9, L'F', L"Code 128 enabled", L"True", true, true},
    {140, L'B', L"Beeper volume", L"1", true, true},
    {145, L'B', L"Beeper tone", L"2", true, true},
    {200, L'W', L"Good read timeout ms", L"3000", true, true},
    {533, L'S', L"Model number", L"QS-1000", false, true},
    {kSerialNumber, L'S', L"Serial number", L"QSIM00012345", false, true},
    {kFirmware, L'S', L"Firmware version", L"QSF 2.4.1", false, true},
    {6000, L'X', L"Beep and LED action", L"", true, false},
};

} // namespace

std::span<const AttributeInfo> Table() { return kAttributes; }

const AttributeInfo *Find(int id) {
  for (const AttributeInfo &a : kAttributes)
    if (a.id == id) return &a;
  return nullptr;
}

const AttributeInfo *After(long long id) {
  for (const AttributeInfo &a : kAttributes)
    if (a.id > id) return &a;
  return nullptr;
}

bool ValidValue(wchar_t datatype, const std::wstring &value) {
  long long n = 0;
  switch (datatype) {
  case L'F':
    return value == L"True" || value == L"False";
  case L'B':
    return text::ParseInteger(value, n) && n >= 0 && n <= 0xFF;
  case L'W':
    return text::ParseInteger(value, n) && n >= 0 && n <= 0xFFFF;
  case L'D':
    return text::ParseInteger(value, n) && n >= 0 && n <= 0xFFFFFFFFLL;
  case L'X':
    return text::ParseInteger(value, n) && n >= 0 && n <= 0xFFFF;
  case L'S':
    return value.size() <= 255;
  }
  return false;
}

void Values::Reset(const std::map<int, std::wstring> &stored) {
  m_values.clear();
  for (const AttributeInfo &a : kAttributes) {
    const auto it = stored.find(a.id);
    m_values[a.id] = it != stored.end() && ValidValue(a.datatype, it->second) ? it->second : a.initial;
  }
}

std::wstring Values::Get(int id) const {
  const auto it = m_values.find(id);
  return it == m_values.end() ? std::wstring() : it->second;
}

} // namespace quillon::control::attributes
