// The simulated device's attributes: settings with a number, a type and a
// value, which Direct IO lists, reads, sets (until the next reset) and stores.
#pragma once

#include <map>
#include <span>
#include <string>

namespace quillon::control::attributes {

struct AttributeInfo {
  int id;
  wchar_t datatype; // F flag, B byte, W word, D dword, S string, X action
  const wchar_t *name;
  const wchar_t *initial;
  bool writable;
  bool readable;
};

std::span<const AttributeInfo> Table();
const AttributeInfo *Find(int id);
// The first attribute with an id above the given one; nullptr after the last.
const AttributeInfo *After(long long id);
// Whether a value is one of the type's (a flag True or False, a number in range).
bool ValidValue(wchar_t datatype, const std::wstring &value);

inline constexpr int kSerialNumber = 534;
inline constexpr int kFirmware = 535;

// The values of the attributes, as a device has them now.
class Values {
public:
  Values() { Reset({}); }
  // Back to the initial values, then the stored ones that are valid.
  void Reset(const std::map<int, std::wstring> &stored);
  std::wstring Get(int id) const;
  void Set(int id, std::wstring value) { m_values[id] = std::move(value); }

private:
  std::map<int, std::wstring> m_values;
};

} // namespace quillon::control::attributes
