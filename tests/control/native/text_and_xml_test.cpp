// The small readers the device's requests go through: numbers, lists, XML.
#include "control/services/parsers/text.h"
#include "control/services/parsers/xml.h"

#include <gtest/gtest.h>

namespace {

using namespace quillon;
using namespace quillon::control;

TEST(Text, IntegersWholeAndInRange) {
  long long v = 0;
  EXPECT_TRUE(text::ParseInteger(L"-9223372036854775808", v));
  EXPECT_EQ(INT64_MIN, v);
  EXPECT_TRUE(text::ParseInteger(L"+42", v));
  EXPECT_EQ(42, v);
  for (const wchar_t *bad : {L"", L"-", L" 1", L"1 ", L"9223372036854775808", L"0x10", L"1e3", L"١"})
    EXPECT_FALSE(text::ParseInteger(bad, v)) << bad;
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"", L"b c"}), text::SplitList(L" a ,, b c ", L','));
  EXPECT_EQ(std::vector<std::wstring>{L""}, text::SplitList(L"", L','));
}

TEST(Xml, ReadsElementsTextAttributesAndEntities) {
  const auto doc =
      xml::Parse(L"<?xml version=\"1.0\"?><!-- c --><a x='1' y=\"&lt;\">  t&amp;&#65;&#x42; <b/><c>d</c></a> ");
  ASSERT_TRUE(doc);
  EXPECT_EQ(L"a", doc->name);
  EXPECT_EQ(L"t&AB", doc->text);
  ASSERT_EQ(2u, doc->attributes.size());
  EXPECT_EQ(L"<", doc->attributes[1].second);
  ASSERT_EQ(2u, doc->children.size());
  EXPECT_EQ(L"d", doc->ChildText(L"c"));
  EXPECT_FALSE(doc->ChildText(L"z"));
}

TEST(Xml, RefusesWhatIsNotWellFormed) {
  for (const wchar_t *bad : {L"", L"<a>", L"<a></b>", L"<a><b></a></b>", L"<a>&bogus;</a>", L"<a>&#0;</a>", L"<a x=1/>",
                             L"<a x='1'y='2'/>", L"<a/><b/>", L"text", L"<a>&#x110000;</a>", L"<!-- x"})
    EXPECT_FALSE(xml::Parse(bad)) << bad;
  std::wstring deep;
  for (int i = 0; i < 100; ++i)
    deep += L"<a>";
  EXPECT_FALSE(xml::Parse(deep)) << "nesting is bounded";
}

TEST(Xml, EscapedTextReadsBack) {
  const std::wstring text = L"a<b>&\"'\x7f\xe9\t\r\n.";
  const auto doc = xml::Parse(L"<v a='" + xml::Escape(text) + L"'>" + xml::Escape(text) + L"</v>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(text, doc->text);
  EXPECT_EQ(text, doc->attributes.at(0).second);
}

// What a document cannot carry is not written: a statistic named with a
// control character still gets a well-formed report.
TEST(Xml, CharactersXmlDoesNotAllowAreReplaced) {
  EXPECT_EQ(L"a\xfffd"
            L"b\xfffd\xfffd",
            xml::Escape(std::wstring(L"a\x01"
                                     L"b\xffff",
                                     4) +
                        L'\0'));
  EXPECT_EQ(L"\xfffd", xml::Escape(std::wstring(1, static_cast<wchar_t>(0xD800))));
}

} // namespace
