// A small, strict XML reader for the device's command arguments, and escaping
// for the documents it writes. Enough for element trees with text; anything
// malformed is refused rather than guessed at.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::control::xml {

struct Node {
  std::wstring name;
  std::wstring text; // character data directly inside, whitespace trimmed
  std::vector<std::pair<std::wstring, std::wstring>> attributes;
  std::vector<Node> children;

  const Node *Child(std::wstring_view childName) const;
  // Text of the named child, or nullopt when there is none.
  std::optional<std::wstring> ChildText(std::wstring_view childName) const;
};

// The document's root element, or nullopt when the text is not well-formed.
std::optional<Node> Parse(std::wstring_view text);

// The text as a document can carry it: characters XML 1.0 does not allow
// (control characters other than tab, CR and LF; U+FFFE, U+FFFF; a surrogate
// without its pair) become U+FFFD.
std::wstring Representable(std::wstring_view text);

// The text for a document's character data or attribute value: markup
// characters as entities, and only characters XML allows.
std::wstring Escape(std::wstring_view text);

} // namespace quillon::control::xml
