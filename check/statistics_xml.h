// Reads a RetrieveStatistics reply: a small, strict XML reader (elements,
// attributes, text, character and the five predefined entity references,
// comments, CDATA, the declaration) and the checks that make the document a
// UnifiedPOS statistics reply.
#pragma once

#include <string>
#include <vector>

struct XmlElement {
  std::wstring name; // as written, prefix included
  std::vector<std::pair<std::wstring, std::wstring>> attributes;
  std::wstring text; // the element's own character data, concatenated
  std::vector<XmlElement> children;

  // The name without its namespace prefix.
  std::wstring LocalName() const;
  const XmlElement *Child(const std::wstring &localName) const;
  const std::wstring *Attribute(const std::wstring &name) const;
};

// Parses a whole document with exactly one root element; false with the
// reason (and where) when it is not well formed.
bool ParseXml(const std::wstring &text, XmlElement &root, std::wstring &error);

struct StatisticEntry {
  std::wstring name;
  std::wstring value;
};

// A UPOSStat root with an Equipment block naming the Scanner category and an
// Event whose Parameter and ManufacturerSpecific entries each carry a Name
// and a Value. The entries in order, or false with the reason.
bool ParseStatisticsReply(const std::wstring &text, std::vector<StatisticEntry> &entries, std::wstring &error);
