// The Direct IO panel in the real main window: the command list, the default
// argument texts, what Execute sends and how the reply and data value show.
#include "console_window.h"

#include <climits>
#include <vector>

namespace {

using Line = std::pair<int, const wchar_t *>; // leading spaces, text

// An argument text: <inArgs> around the scanner ID, the opcode line when
// given and, when given, <cmdArgs><arg-xml> around the attribute list's lines;
// lines joined by CR LF with none after the last.
std::wstring InArgs(const std::vector<Line> &attribList = {}, const wchar_t *opcode = nullptr) {
  std::vector<Line> lines{{0, L"<inArgs>"}, {1, L"<scannerID>1</scannerID>"}};
  if (opcode) lines.push_back({1, opcode});
  if (!attribList.empty()) {
    lines.insert(lines.end(), {{1, L"<cmdArgs>"}, {2, L"<arg-xml>"}});
    lines.insert(lines.end(), attribList.begin(), attribList.end());
    lines.insert(lines.end(), {{2, L"</arg-xml>"}, {1, L"</cmdArgs>"}});
  }
  lines.push_back({0, L"</inArgs>"});
  std::wstring s;
  for (const auto &[spaces, text] : lines) {
    if (!s.empty()) s += L"\r\n";
    s += std::wstring(static_cast<size_t>(spaces), L' ') + text;
  }
  return s;
}

// An attribute list of one attribute, its three lines as given.
std::vector<Line> OneAttribute(const wchar_t *id, const wchar_t *datatype, const wchar_t *value) {
  return {{3, L"<attrib_list>"}, {4, L"<attribute>"},   {5, id}, {5, datatype}, {5, value},
          {4, L"</attribute>"},  {3, L"</attrib_list>"}};
}

const std::wstring kScannerText = InArgs();
const std::wstring kAttributeListText = InArgs({{3, L"<attrib_list>1</attrib_list>"}});
const std::wstring kSetAttributeText =
    InArgs(OneAttribute(L"<id>6000</id>", L"<datatype>X</datatype>", L"<value>2</value>"));
const std::wstring kStoreAttributeText =
    InArgs(OneAttribute(L"<id>1</id>", L"<datatype>F</datatype>", L"<value>True</value>"));
const std::wstring kPassThroughText =
    InArgs(OneAttribute(L"<id>6000</id>", L"<datatype>X</datatype>", L"<value>2</value>"), L"<opcode>5004</opcode>");

struct Command {
  const wchar_t *name;
  long number;
  const std::wstring *input; // null: no input
  size_t length;
};

const Command kCommands[] = {
    {L"GET_SCANNERS", 1, nullptr, 0},
    {L"RSM_ATTR_GETALL", 5000, &kScannerText, 46},
    {L"RSM_ATTR_GET", 5001, &kAttributeListText, 131},
    {L"RSM_ATTR_GETNEXT", 5002, &kAttributeListText, 131},
    {L"RSM_ATTR_SET", 5004, &kSetAttributeText, 242},
    {L"RSM_ATTR_STORE", 5005, &kStoreAttributeText, 242},
    {L"NCRDIO_SCAN_NOT_ON_FILE", 508, nullptr, 0},
    {L"NCRDIO_SCAN_RESET", 502, nullptr, 0},
    {L"NCRDIO_SCAN_STATUS", 503, nullptr, 0},
    {L"NCRDIO_SCAN_DIRECT", 507, &kPassThroughText, 266},
};

class DirectIOPanel : public ConsoleWindow {
protected:
  // The one DirectIO call since the last ClearCalls: command, data, text.
  struct Sent {
    long command;
    long data;
    std::wstring text;
  };
  Sent LastSent() {
    const auto calls = m_fake->CallsTo(kDirectIO, kMethod);
    EXPECT_EQ(calls.size(), 1u);
    if (calls.size() != 1 || calls[0].args.size() != 3) {
      ADD_FAILURE() << "no DirectIO call with three arguments";
      return {};
    }
    const auto &a = calls[0].args;
    EXPECT_EQ(a[0].vt, VT_I4);
    EXPECT_EQ(a[1].vt, VT_BYREF | VT_I4);
    EXPECT_EQ(a[2].vt, VT_BYREF | VT_BSTR);
    return {a[0].value.AsLong(), a[1].value.AsLong(), a[2].value.AsString()};
  }
  void Execute() {
    m_fake->ClearCalls();
    Click(IDC_DIRECTIO_EXECUTE);
  }
};

TEST_F(DirectIOPanel, StartsOnGetScannersWithEmptyFieldsAndSendsCommandOne) {
  EXPECT_EQ(Text(IDC_DIRECTIO_COMMAND), L"GET_SCANNERS");
  EXPECT_EQ(Text(IDC_DIRECTIO_INPUT), L"");
  EXPECT_EQ(Text(IDC_DIRECTIO_OUTPUT), L"");
  EXPECT_EQ(Text(IDC_DIRECTIO_STATUS), L"");
  Execute();
  const Sent sent = LastSent();
  EXPECT_EQ(sent.command, 1);
  EXPECT_EQ(sent.data, -1);
  EXPECT_EQ(sent.text, L"");
}

TEST_F(DirectIOPanel, EachCommandFillsItsDefaultTextAndSendsItsNumber) {
  ASSERT_EQ(SendMessageW(Item(IDC_DIRECTIO_COMMAND), CB_GETCOUNT, 0, 0), 10);
  for (int i = 0; i < 10; ++i) {
    const Command &c = kCommands[i];
    SCOPED_TRACE(testing::Message() << "entry " << i);
    SetText(IDC_DIRECTIO_INPUT, L"edited by the user");
    Choose(IDC_DIRECTIO_COMMAND, i);
    EXPECT_EQ(Text(IDC_DIRECTIO_COMMAND), c.name);
    const std::wstring expected = c.input ? *c.input : L"";
    EXPECT_EQ(Text(IDC_DIRECTIO_INPUT), expected);
    EXPECT_EQ(Text(IDC_DIRECTIO_INPUT).size(), c.length);
    Execute();
    const Sent sent = LastSent();
    EXPECT_EQ(sent.command, c.number);
    EXPECT_EQ(sent.data, -1);
    EXPECT_EQ(sent.text, expected);
  }
}

TEST_F(DirectIOPanel, TypingACommandNameWithoutChoosingItKeepsTheChosenCommand) {
  Choose(IDC_DIRECTIO_COMMAND, 2); // RSM_ATTR_GET, 5001
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(Item(IDC_DIRECTIO_COMMAND), &info));
  SendMessageW(info.hwndItem, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  for (wchar_t ch : std::wstring(L"RSM_ATTR_SET"))
    SendMessageW(info.hwndItem, WM_CHAR, ch, 0);
  ASSERT_EQ(Text(IDC_DIRECTIO_COMMAND), L"RSM_ATTR_SET");
  EXPECT_EQ(Text(IDC_DIRECTIO_INPUT), kAttributeListText);
  Execute();
  EXPECT_EQ(LastSent().command, 5001);
}

TEST_F(DirectIOPanel, TheInputIsSentExactlyAsTypedWhateverItsLength) {
  const std::wstring edited = L"<inArgs>\r\n\t<scannerID>2</scannerID>  \r\n</inArgs>\r\n";
  SetText(IDC_DIRECTIO_INPUT, edited);
  Execute();
  EXPECT_EQ(LastSent().text, edited);

  // Pasted, so the edit control's text limit applies: longer than its
  // default of 30,000 characters.
  std::wstring pasted;
  for (int i = 0; pasted.size() < 40000; ++i)
    pasted += L"<attribute><id>" + std::to_wstring(i) + L"</id></attribute>\r\n";
  SetText(IDC_DIRECTIO_INPUT, L"");
  SendMessageW(Item(IDC_DIRECTIO_INPUT), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(pasted.c_str()));
  ASSERT_EQ(Text(IDC_DIRECTIO_INPUT).size(), pasted.size());
  Execute();
  EXPECT_EQ(LastSent().text, pasted);
}

TEST_F(DirectIOPanel, ASuccessShowsTheReplyAndAFailureEmptiesTheOutput) {
  m_dlg->m_nLastReturn = 111;
  m_reg.Once(kDirectIO).Returns(0L).ReplacesString(L"<outArgs>ok</outArgs>").ReplacesLong(3);
  m_reg.On(kResultCodeId, kGet).Returns(0L);
  Execute();
  EXPECT_EQ(Text(IDC_DIRECTIO_OUTPUT), L"<outArgs>ok</outArgs>");
  EXPECT_EQ(Text(IDC_DIRECTIO_STATUS), L"3");
  EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(111)) << "the DirectIO result must not be stored";
  EXPECT_EQ(Text(IDC_RESULT_CODE), Name(0));

  m_reg.Once(kDirectIO).Returns(106L).ReplacesString(L"an error text");
  m_reg.On(kResultCodeId, kGet).Returns(106L);
  Execute();
  EXPECT_EQ(Text(IDC_DIRECTIO_OUTPUT), L"");
  EXPECT_EQ(Text(IDC_DIRECTIO_STATUS), L"-1");
  EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(111));
  EXPECT_EQ(Text(IDC_RESULT_CODE), Name(106));
}

TEST_F(DirectIOPanel, TheStatusShowsTheDataValueInSignedDecimal) {
  const std::pair<long, const wchar_t *> kValues[] = {
      {0, L"0"}, {42, L"42"}, {-7, L"-7"}, {LONG_MAX, L"2147483647"}, {LONG_MIN, L"-2147483648"},
  };
  for (const auto &[value, text] : kValues) {
    m_reg.Once(kDirectIO).Returns(111L).ReplacesLong(value);
    Execute();
    EXPECT_EQ(Text(IDC_DIRECTIO_STATUS), text);
  }
}

TEST_F(DirectIOPanel, ClearEmptiesOnlyTheOutputAndTheStatus) {
  Choose(IDC_DIRECTIO_COMMAND, 4); // RSM_ATTR_SET
  SetText(IDC_DIRECTIO_INPUT, L"kept");
  m_reg.Once(kDirectIO).Returns(0L).ReplacesString(L"reply").ReplacesLong(9);
  Execute();
  ASSERT_EQ(Text(IDC_DIRECTIO_OUTPUT), L"reply");
  m_fake->ClearCalls();
  Click(IDC_DIRECTIO_CLEAR);
  EXPECT_TRUE(m_fake->Calls().empty());
  EXPECT_EQ(Text(IDC_DIRECTIO_OUTPUT), L"");
  EXPECT_EQ(Text(IDC_DIRECTIO_STATUS), L"");
  EXPECT_EQ(Text(IDC_DIRECTIO_INPUT), L"kept");
  EXPECT_EQ(Text(IDC_DIRECTIO_COMMAND), L"RSM_ATTR_SET");
  Execute();
  EXPECT_EQ(LastSent().command, 5004);
  EXPECT_EQ(LastSent().text, L"kept");
}

} // namespace
