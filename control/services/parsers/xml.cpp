#include "control/services/parsers/xml.h"

#include <cwchar>

namespace quillon::control::xml {
namespace {

constexpr int kMaxDepth = 64;

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
bool IsNameStart(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_' || c == L':' || c > 0x7F;
}
bool IsNameChar(wchar_t c) { return IsNameStart(c) || (c >= L'0' && c <= L'9') || c == L'-' || c == L'.'; }

std::wstring Trim(const std::wstring &s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b]))
    ++b;
  while (e > b && IsSpace(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

class Reader {
public:
  explicit Reader(std::wstring_view text) : m_s(text) {}

  std::optional<Node> Document() {
    SkipMisc(true);
    if (!Peek(L'<')) return std::nullopt;
    std::optional<Node> root = Element(0);
    if (!root) return std::nullopt;
    SkipMisc(false);
    if (m_failed || m_pos != m_s.size()) return std::nullopt;
    return root;
  }

private:
  bool Peek(wchar_t c) const { return m_pos < m_s.size() && m_s[m_pos] == c; }
  bool Starts(std::wstring_view w) const { return m_s.substr(m_pos, w.size()) == w; }
  void SkipSpace() {
    while (m_pos < m_s.size() && IsSpace(m_s[m_pos]))
      ++m_pos;
  }

  // Whitespace, comments and (before the root) the XML declaration.
  void SkipMisc(bool prolog) {
    for (;;) {
      SkipSpace();
      if (Starts(L"<!--")) {
        if (!SkipPast(L"-->")) return;
      } else if (prolog && Starts(L"<?")) {
        if (!SkipPast(L"?>")) return;
      } else {
        return;
      }
    }
  }
  bool SkipPast(std::wstring_view end) {
    const size_t at = m_s.find(end, m_pos + 2);
    if (at == std::wstring_view::npos) {
      m_failed = true;
      return false;
    }
    m_pos = at + end.size();
    return true;
  }

  std::optional<std::wstring> Name() {
    if (m_pos >= m_s.size() || !IsNameStart(m_s[m_pos])) return std::nullopt;
    const size_t b = m_pos;
    while (m_pos < m_s.size() && IsNameChar(m_s[m_pos]))
      ++m_pos;
    return std::wstring(m_s.substr(b, m_pos - b));
  }

  // Character data up to the next '<' (or the closing quote), entities resolved.
  std::optional<std::wstring> CharData(wchar_t stop) {
    std::wstring out;
    while (m_pos < m_s.size() && m_s[m_pos] != stop) {
      const wchar_t c = m_s[m_pos];
      if (c == L'<') return std::nullopt;
      if (c == L'&') {
        const size_t semi = m_s.find(L';', m_pos);
        if (semi == std::wstring_view::npos || semi - m_pos > 10) return std::nullopt;
        const std::wstring_view ent = m_s.substr(m_pos + 1, semi - m_pos - 1);
        if (ent == L"lt")
          out += L'<';
        else if (ent == L"gt")
          out += L'>';
        else if (ent == L"amp")
          out += L'&';
        else if (ent == L"quot")
          out += L'"';
        else if (ent == L"apos")
          out += L'\'';
        else if (ent.size() > 1 && ent[0] == L'#') {
          const bool hex = ent[1] == L'x';
          const std::wstring digits(ent.substr(hex ? 2 : 1));
          if (digits.empty()) return std::nullopt;
          wchar_t *end = nullptr;
          const unsigned long v = std::wcstoul(digits.c_str(), &end, hex ? 16 : 10);
          if (*end || v == 0 || v > 0xFFFF) return std::nullopt;
          out += static_cast<wchar_t>(v);
        } else {
          return std::nullopt;
        }
        m_pos = semi + 1;
      } else {
        out += c;
        ++m_pos;
      }
    }
    return out;
  }

  std::optional<Node> Element(int depth) {
    if (depth > kMaxDepth || !Peek(L'<')) return std::nullopt;
    ++m_pos;
    Node node;
    std::optional<std::wstring> name = Name();
    if (!name) return std::nullopt;
    node.name = std::move(*name);
    for (;;) {
      const size_t before = m_pos;
      SkipSpace();
      if (Starts(L"/>")) {
        m_pos += 2;
        return node;
      }
      if (Peek(L'>')) {
        ++m_pos;
        break;
      }
      if (m_pos == before) return std::nullopt; // attributes need a blank before them
      std::optional<std::wstring> attr = Name();
      if (!attr) return std::nullopt;
      SkipSpace();
      if (!Peek(L'=')) return std::nullopt;
      ++m_pos;
      SkipSpace();
      if (!Peek(L'"') && !Peek(L'\'')) return std::nullopt;
      const wchar_t quote = m_s[m_pos++];
      std::optional<std::wstring> value = CharData(quote);
      if (!value || !Peek(quote)) return std::nullopt;
      ++m_pos;
      node.attributes.emplace_back(std::move(*attr), std::move(*value));
    }
    std::wstring text;
    for (;;) {
      std::optional<std::wstring> chars = CharData(L'<');
      if (!chars || m_pos >= m_s.size()) return std::nullopt;
      text += *chars;
      if (Starts(L"</")) {
        m_pos += 2;
        std::optional<std::wstring> end = Name();
        SkipSpace();
        if (!end || *end != node.name || !Peek(L'>')) return std::nullopt;
        ++m_pos;
        node.text = Trim(text);
        return node;
      }
      if (Starts(L"<!--")) {
        if (!SkipPast(L"-->")) return std::nullopt;
        continue;
      }
      std::optional<Node> child = Element(depth + 1);
      if (!child) return std::nullopt;
      node.children.push_back(std::move(*child));
    }
  }

  std::wstring_view m_s;
  size_t m_pos = 0;
  bool m_failed = false;
};

} // namespace

const Node *Node::Child(std::wstring_view childName) const {
  for (const Node &c : children)
    if (c.name == childName) return &c;
  return nullptr;
}

std::optional<std::wstring> Node::ChildText(std::wstring_view childName) const {
  const Node *c = Child(childName);
  if (!c) return std::nullopt;
  return c->text;
}

std::optional<Node> Parse(std::wstring_view text) { return Reader(text).Document(); }

namespace {

bool HighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

std::wstring Representable(std::wstring_view text) {
  std::wstring out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const wchar_t c = out[i];
    if (HighSurrogate(c) && i + 1 < out.size() && LowSurrogate(out[i + 1])) {
      ++i; // a pair: one character beyond U+FFFF
      continue;
    }
    if ((c < 0x20 && c != L'\t' && c != L'\r' && c != L'\n') || c == 0xFFFE || c == 0xFFFF || HighSurrogate(c) ||
        LowSurrogate(c))
      out[i] = 0xFFFD;
  }
  return out;
}

std::wstring Escape(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (const wchar_t c : Representable(text)) {
    switch (c) {
    case L'<':
      out += L"&lt;";
      break;
    case L'>':
      out += L"&gt;";
      break;
    case L'&':
      out += L"&amp;";
      break;
    case L'"':
      out += L"&quot;";
      break;
    case L'\'':
      out += L"&apos;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

} // namespace quillon::control::xml
