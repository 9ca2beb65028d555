// Fuzz target: the XML reader of the Direct IO arguments. Any text (two bytes
// a character): never a crash or a runaway, and what it reads it reads the
// same again once written back out; text escaped for a document reads back
// as it was.
#include "check.h"
#include "control/services/parsers/xml.h"

#include <cstdlib>
#include <string>

using namespace quillon;
using namespace quillon::control;

namespace {

std::wstring Write(const xml::Node &node) {
  std::wstring out = L"<" + node.name;
  for (const auto &[name, value] : node.attributes)
    out += L" " + name + L"=\"" + xml::Escape(value) + L"\"";
  out += L">" + xml::Escape(node.text);
  for (const xml::Node &child : node.children)
    out += Write(child);
  return out + L"</" + node.name + L">";
}

// b is a as written and read back: the same but for characters XML cannot carry.
bool Same(const xml::Node &a, const xml::Node &b) {
  if (a.name != b.name || xml::Representable(a.text) != b.text || a.attributes.size() != b.attributes.size() ||
      a.children.size() != b.children.size())
    return false;
  for (size_t i = 0; i < a.attributes.size(); ++i)
    if (a.attributes[i].first != b.attributes[i].first ||
        xml::Representable(a.attributes[i].second) != b.attributes[i].second)
      return false;
  for (size_t i = 0; i < a.children.size(); ++i)
    if (!Same(a.children[i], b.children[i])) return false;
  return true;
}

// Without the blanks the reader trims from element text.
std::wstring Trimmed(const std::wstring &s) {
  const wchar_t *blanks = L" \t\r\n";
  const size_t b = s.find_first_not_of(blanks);
  if (b == std::wstring::npos) return {};
  return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));

  if (const std::optional<xml::Node> doc = xml::Parse(text)) {
    const std::optional<xml::Node> again = xml::Parse(Write(*doc));
    CHECK(again.has_value());
    CHECK(Same(*doc, *again));
  }

  // Any text as element content: written escaped, read back the same, but
  // for characters a document cannot carry.
  const std::optional<xml::Node> v = xml::Parse(L"<v>" + xml::Escape(text) + L"</v>");
  CHECK(v.has_value());
  CHECK(v->text == Trimmed(xml::Representable(text)));
  return 0;
}
