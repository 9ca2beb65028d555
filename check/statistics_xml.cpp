// The XML reader and the statistics reply's shape.
#include "check/statistics_xml.h"

#include <cwchar>

namespace {

class Reader {
public:
  explicit Reader(const std::wstring &text) : m_t(text) {}

  bool Document(XmlElement &root, std::wstring &error) {
    if (m_t.compare(0, 1, L"\xFEFF") == 0) ++m_p;
    if (!Misc(true) || !Element(root, 0) || !Misc(false)) {
      error = m_error;
      return false;
    }
    if (m_p != m_t.size()) {
      error = At(L"content after the root element");
      return false;
    }
    return true;
  }

private:
  bool Fail(const wchar_t *what) {
    if (m_error.empty()) m_error = At(what);
    return false;
  }
  std::wstring At(const wchar_t *what) const {
    size_t line = 1;
    for (size_t i = 0; i < m_p && i < m_t.size(); ++i)
      if (m_t[i] == L'\n') ++line;
    return std::wstring(what) + L" (line " + std::to_wstring(line) + L")";
  }
  bool Starts(const wchar_t *s) const { return m_t.compare(m_p, std::wcslen(s), s) == 0; }
  void Blanks() {
    while (m_p < m_t.size() && (m_t[m_p] == L' ' || m_t[m_p] == L'\t' || m_t[m_p] == L'\r' || m_t[m_p] == L'\n'))
      ++m_p;
  }
  bool SkipPast(const wchar_t *end, const wchar_t *what) {
    const size_t at = m_t.find(end, m_p);
    if (at == std::wstring::npos) return Fail(what);
    m_p = at + std::wcslen(end);
    return true;
  }
  // Blanks, comments and processing instructions around the root (and the
  // declaration before it).
  bool Misc(bool prolog) {
    for (;;) {
      Blanks();
      if (Starts(L"<!--")) {
        if (!SkipPast(L"-->", L"a comment that does not end")) return false;
      } else if (Starts(L"<?")) {
        if (!SkipPast(L"?>", L"a declaration that does not end")) return false;
      } else if (prolog && Starts(L"<!DOCTYPE")) {
        if (!SkipPast(L">", L"a document type that does not end")) return false;
      } else {
        return true;
      }
    }
  }
  static bool NameChar(wchar_t c, bool first) {
    if (c == L'_' || c == L':' || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c >= 0xC0) return true;
    return !first && (c == L'-' || c == L'.' || (c >= L'0' && c <= L'9') || c == 0xB7);
  }
  bool Name(std::wstring &name) {
    const size_t start = m_p;
    while (m_p < m_t.size() && NameChar(m_t[m_p], m_p == start))
      ++m_p;
    if (m_p == start) return Fail(L"a name was expected");
    name = m_t.substr(start, m_p - start);
    return true;
  }
  bool Reference(std::wstring &out) {
    const size_t end = m_t.find(L';', m_p);
    if (end == std::wstring::npos || end - m_p > 12) return Fail(L"an entity reference that does not end");
    const std::wstring ref = m_t.substr(m_p + 1, end - m_p - 1);
    m_p = end + 1;
    static const struct {
      const wchar_t *name;
      wchar_t c;
    } kEntities[] = {{L"lt", L'<'}, {L"gt", L'>'}, {L"amp", L'&'}, {L"quot", L'"'}, {L"apos", L'\''}};
    for (const auto &e : kEntities)
      if (ref == e.name) {
        out += e.c;
        return true;
      }
    if (ref.size() > 1 && ref[0] == L'#') {
      const bool hex = ref[1] == L'x';
      const std::wstring digits = ref.substr(hex ? 2 : 1);
      wchar_t *stop = nullptr;
      const unsigned long code = digits.empty() ? 0 : std::wcstoul(digits.c_str(), &stop, hex ? 16 : 10);
      if (digits.empty() || *stop || code == 0 || code > 0x10FFFF) return Fail(L"a bad character reference");
      if (code >= 0x10000) {
        out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
        out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        out += static_cast<wchar_t>(code);
      }
      return true;
    }
    return Fail(L"an unknown entity reference");
  }
  bool Attributes(XmlElement &e) {
    for (;;) {
      Blanks();
      if (m_p >= m_t.size()) return Fail(L"a start tag that does not end");
      if (m_t[m_p] == L'>' || Starts(L"/>")) return true;
      std::wstring name, value;
      if (!Name(name)) return false;
      Blanks();
      if (m_p >= m_t.size() || m_t[m_p] != L'=') return Fail(L"an attribute without a value");
      ++m_p;
      Blanks();
      if (m_p >= m_t.size() || (m_t[m_p] != L'"' && m_t[m_p] != L'\''))
        return Fail(L"an attribute value without quotes");
      const wchar_t quote = m_t[m_p++];
      while (m_p < m_t.size() && m_t[m_p] != quote) {
        if (m_t[m_p] == L'<') return Fail(L"a < inside an attribute value");
        if (m_t[m_p] == L'&') {
          if (!Reference(value)) return false;
        } else {
          value += m_t[m_p++];
        }
      }
      if (m_p >= m_t.size()) return Fail(L"an attribute value that does not end");
      ++m_p;
      for (const auto &a : e.attributes)
        if (a.first == name) return Fail(L"an attribute given twice");
      e.attributes.emplace_back(std::move(name), std::move(value));
    }
  }
  bool Element(XmlElement &e, int depth) {
    if (depth > 64) return Fail(L"elements nested too deeply");
    if (m_p >= m_t.size() || m_t[m_p] != L'<') return Fail(L"an element was expected");
    ++m_p;
    if (!Name(e.name) || !Attributes(e)) return false;
    if (Starts(L"/>")) {
      m_p += 2;
      return true;
    }
    ++m_p; // '>'
    for (;;) {
      if (m_p >= m_t.size()) return Fail((L"the element " + e.name + L" is not closed").c_str());
      if (Starts(L"</")) {
        m_p += 2;
        std::wstring name;
        if (!Name(name)) return false;
        Blanks();
        if (name != e.name || m_p >= m_t.size() || m_t[m_p] != L'>')
          return Fail((L"the element " + e.name + L" is closed by </" + name + L">").c_str());
        ++m_p;
        return true;
      }
      if (Starts(L"<!--")) {
        if (!SkipPast(L"-->", L"a comment that does not end")) return false;
      } else if (Starts(L"<![CDATA[")) {
        const size_t start = m_p + 9;
        if (!SkipPast(L"]]>", L"a CDATA section that does not end")) return false;
        e.text += m_t.substr(start, m_p - 3 - start);
      } else if (Starts(L"<?")) {
        if (!SkipPast(L"?>", L"a processing instruction that does not end")) return false;
      } else if (m_t[m_p] == L'<') {
        e.children.emplace_back();
        if (!Element(e.children.back(), depth + 1)) return false;
      } else if (m_t[m_p] == L'&') {
        if (!Reference(e.text)) return false;
      } else {
        e.text += m_t[m_p++];
      }
    }
  }

  const std::wstring &m_t;
  size_t m_p = 0;
  std::wstring m_error;
};

std::wstring Trimmed(const std::wstring &s) {
  const size_t a = s.find_first_not_of(L" \t\r\n");
  if (a == std::wstring::npos) return L"";
  return s.substr(a, s.find_last_not_of(L" \t\r\n") - a + 1);
}

} // namespace

std::wstring XmlElement::LocalName() const {
  const size_t colon = name.find(L':');
  return colon == std::wstring::npos ? name : name.substr(colon + 1);
}

const XmlElement *XmlElement::Child(const std::wstring &localName) const {
  for (const XmlElement &c : children)
    if (c.LocalName() == localName) return &c;
  return nullptr;
}

const std::wstring *XmlElement::Attribute(const std::wstring &attributeName) const {
  for (const auto &a : attributes)
    if (a.first == attributeName) return &a.second;
  return nullptr;
}

bool ParseXml(const std::wstring &text, XmlElement &root, std::wstring &error) {
  return Reader(text).Document(root, error);
}

bool ParseStatisticsReply(const std::wstring &text, std::vector<StatisticEntry> &entries, std::wstring &error) {
  XmlElement root;
  if (!ParseXml(text, root, error)) return false;
  if (root.LocalName() != L"UPOSStat") {
    error = L"the root element is " + root.name + L", not UPOSStat";
    return false;
  }
  const XmlElement *equipment = root.Child(L"Equipment");
  const XmlElement *category = equipment ? equipment->Child(L"DeviceCategory") : nullptr;
  const std::wstring *upos = category ? category->Attribute(L"UPOS") : nullptr;
  if (!upos || *upos != L"Scanner") {
    error = L"no Equipment block with <DeviceCategory UPOS=\"Scanner\"/>";
    return false;
  }
  const XmlElement *event = root.Child(L"Event");
  if (!event) {
    error = L"no Event element";
    return false;
  }
  entries.clear();
  for (const XmlElement &p : event->children) {
    if (p.LocalName() != L"Parameter" && p.LocalName() != L"ManufacturerSpecific") continue;
    const XmlElement *name = p.Child(L"Name");
    const XmlElement *value = p.Child(L"Value");
    if (!name || !value) {
      error = L"a " + p.LocalName() + L" entry without " + (name ? L"Value" : L"Name");
      return false;
    }
    entries.push_back({Trimmed(name->text), Trimmed(value->text)});
  }
  return true;
}
