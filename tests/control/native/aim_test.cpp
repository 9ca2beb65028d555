// Framing by suffix and symbology identifiers, against published identifier
// examples; the demo feed's sample labels.
#include "control/services/demo_labels.h"
#include "control/services/parsers/aim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using quillon::control::aim::DecodeAim;
using quillon::control::aim::Framer;
using quillon::control::aim::Suffix;

namespace {

struct AimCase {
  const char *label;
  long type;
  const char *data;
};

const AimCase kAimCases[] = {
    {"]A0CODE39", 108, "CODE39"},
    {"]A4full ascii", 108, "full ascii"},
    {"]C0ABC-123", 110, "ABC-123"},
    {"]C1011234567890123110ABC", 120, "011234567890123110ABC"},
    {"]C4=A99912345678", 141, "=A99912345678"},
    {"]E04006381333931", 104, "4006381333931"},           // EAN-13
    {"]E0012345678905", 101, "012345678905"},             // UPC-A as thirteen digits
    {"]E0012345678905X", 0, "012345678905X"},             // not digits: unknown, data kept
    {"]E001234565", 102, "01234565"},                     // UPC-E
    {"]E496385074", 103, "96385074"},                     // EAN-8
    {"]E3400638133393112", 119, "400638133393112"},       // EAN-13 + 2
    {"]E3400638133393112345", 119, "400638133393112345"}, // EAN-13 + 5
    {"]E3012345678905", 0, "012345678905"},               // no main symbol with an add-on is 12 long
    {"]E3001234567890512", 111, "01234567890512"},        // UPC-A + 2
    {"]E30123456512", 112, "0123456512"},                 // UPC-E + 2
    {"]E49638507412", 0, "9638507412"},                   // ]E4 is eight digits only
    {"]E496385074]E112", 118, "9638507412"},              // EAN-8, add-on packet
    {"]E04006381333931]E212345", 119, "400638133393112345"},
    {"]E04006381333931]E2123", 0, "4006381333931]E2123"}, // short add-on: unknown, nothing lost
    {"]I012345670", 106, "12345670"},
    {"]F0A40156B", 107, "A40156B"},
    {"]G0CODE93", 109, "CODE93"},
    {"]S012345", 105, "12345"},
    {"]e00100012345678905", 131, "0100012345678905"},
    {"]e0019501234567890310300012345", 132, "019501234567890310300012345"},
    {"]L2PDF text", 201, "PDF text"},
    {"]Q1https://example.org", 204, "https://example.org"},
    {"]Q3010950123456789817", 209, "010950123456789817"},
    {"]d1Data Matrix", 203, "Data Matrix"},
    {"]d2010950123456789817", 208, "010950123456789817"},
    {"]z0Aztec", 206, "Aztec"},
    {"]zCAztec", 206, "Aztec"},
    {"]U2MaxiCode", 202, "MaxiCode"},
    {"]h0Han Xin", 215, "Han Xin"},
    {"]X9mystery", 0, "mystery"}, // well-formed, unknown symbology
    {"]A9odd modifier", 0, "odd modifier"},
    {"]E", 0, "]E"}, // too short for an identifier
    {"]1Anot an identifier", 0, "]1Anot an identifier"},
    {"4006381333931", 0, "4006381333931"},
    {"", 0, ""},
};

} // namespace

TEST(Aim, IdentifierGivesTypeAndLabel) {
  for (const AimCase &c : kAimCases) {
    const auto d = DecodeAim(c.label);
    EXPECT_EQ(c.type, d.type) << c.label;
    EXPECT_EQ(c.data, d.data) << c.label;
  }
}

namespace {

struct FrameCase {
  const char *name;
  Suffix suffix;
  std::vector<std::string> pieces;
  std::vector<std::string> labels;
  bool pending; // a label begun at the end
};

const FrameCase kFrameCases[] = {
    {"CR", Suffix::CR, {"A\rB\r"}, {"A", "B"}, false},
    {"CR split", Suffix::CR, {"AB", "C", "\rD"}, {"ABC"}, true},
    {"CR from a CR LF sender", Suffix::CR, {"A\r", "\nB\r\n"}, {"A", "B"}, false},
    {"CR blank lines", Suffix::CR, {"\r\r\n\rA\r"}, {"A"}, false},
    {"CR keeps a LF inside", Suffix::CR, {"A\nB\r"}, {"A\nB"}, false},
    {"LF", Suffix::LF, {"A\nB\n"}, {"A", "B"}, false},
    {"LF from a CR LF sender", Suffix::LF, {"A\r", "\nB\r\n"}, {"A", "B"}, false},
    {"LF blank lines", Suffix::LF, {"\n\r\nA\n"}, {"A"}, false},
    {"CRLF", Suffix::CRLF, {"A\r\nB\r\n"}, {"A", "B"}, false},
    {"CRLF split between CR and LF", Suffix::CRLF, {"A\r", "\n"}, {"A"}, false},
    {"CRLF lone CR is data", Suffix::CRLF, {"A\rB\r\n"}, {"A\rB"}, false},
    {"CRLF waits for LF", Suffix::CRLF, {"A\r"}, {}, true},
    {"binary bytes", Suffix::CR, {std::string("\0\xff", 2) + "\r"}, {std::string("\0\xff", 2)}, false},
};

} // namespace

TEST(Framer, CutsLabelsAtTheSuffixOverAnySplit) {
  for (const FrameCase &c : kFrameCases) {
    // Whole pieces as given, then byte by byte: the same labels either way.
    for (const bool byByte : {false, true}) {
      Framer framer(c.suffix);
      std::vector<std::string> got;
      for (const std::string &piece : c.pieces) {
        if (byByte) {
          for (const char ch : piece)
            for (std::string &l : framer.Feed(std::string_view(&ch, 1)).labels)
              got.push_back(std::move(l));
        } else {
          for (std::string &l : framer.Feed(piece).labels)
            got.push_back(std::move(l));
        }
      }
      EXPECT_EQ(c.labels, got) << c.name << (byByte ? " byte by byte" : "");
      EXPECT_EQ(c.pending, framer.Pending()) << c.name;
    }
  }
}

TEST(Framer, OverlongRunIsDroppedAndTheNextLabelKept) {
  Framer framer(Suffix::CRLF);
  const std::string flood(Framer::kMaxLabel + 10, 'x');
  auto out = framer.Feed("A\r\n" + flood.substr(0, 1000));
  EXPECT_EQ(std::vector<std::string>{"A"}, out.labels);
  out = framer.Feed(flood + "\r\nB\r\n");
  EXPECT_EQ(1u, out.overruns);
  EXPECT_EQ(std::vector<std::string>{"B"}, out.labels);
  EXPECT_FALSE(framer.Pending());
}

// Found by fuzzing: with suffix LF or CR LF, the suffix's CR counted against
// the label, so a label of exactly the longest length was dropped as an overrun.
TEST(Framer, ALabelOfTheLongestLengthIsKeptWhateverTheSuffix) {
  for (const Suffix suffix : {Suffix::CR, Suffix::LF, Suffix::CRLF}) {
    Framer framer(suffix, 4);
    const auto out = framer.Feed(suffix == Suffix::CR ? "ABCD\rWXYZ\r" : "ABCD\r\nWXYZ\r\n");
    EXPECT_EQ((std::vector<std::string>{"ABCD", "WXYZ"}), out.labels) << static_cast<int>(suffix);
    EXPECT_EQ(0u, out.overruns);
    const auto longer = framer.Feed(suffix == Suffix::CR ? "ABCDE\r" : "ABCD\rE\r\n");
    EXPECT_TRUE(longer.labels.empty());
    EXPECT_EQ(1u, longer.overruns) << "one byte more is an overrun";
  }
}

TEST(Aim, SuffixNames) {
  Suffix s = Suffix::LF;
  EXPECT_TRUE(quillon::control::aim::ParseSuffix(L"cr", s));
  EXPECT_EQ(Suffix::CR, s);
  EXPECT_TRUE(quillon::control::aim::ParseSuffix(L"CRLF", s));
  EXPECT_EQ(Suffix::CRLF, s);
  EXPECT_FALSE(quillon::control::aim::ParseSuffix(L"TAB", s));
  EXPECT_FALSE(quillon::control::aim::ParseSuffix(L"", s));
}

namespace {

// The GS1 mod-10 check: weights 3 and 1 from the right, check digit included.
bool Mod10(const std::string &digits) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    const int d = digits[digits.size() - 1 - i] - '0';
    if (d < 0 || d > 9) return false;
    sum += i % 2 ? d * 3 : d;
  }
  return sum % 10 == 0;
}

// UPC-E 0ABCDEFc expanded to the UPC-A it stands for.
std::string ExpandUpcE(const std::string &e) {
  const std::string m = e.substr(1, 6);
  std::string body;
  switch (m[5]) {
  case '0':
  case '1':
  case '2':
    body = m.substr(0, 2) + m[5] + "0000" + m.substr(2, 3);
    break;
  case '3':
    body = m.substr(0, 3) + "00000" + m.substr(3, 2);
    break;
  case '4':
    body = m.substr(0, 4) + "00000" + m[4];
    break;
  default:
    body = m.substr(0, 5) + "0000" + m[5];
  }
  return e.substr(0, 1) + body + e.substr(7, 1);
}

TEST(DemoFeed, EverySymbologyOnceWithValidCheckDigits) {
  std::vector<long> types;
  for (const quillon::control::DemoLabel &label : quillon::control::DemoLabels()) {
    const std::string data = label.data;
    types.push_back(label.type);
    switch (label.type) {
    case 101:
      EXPECT_TRUE(data.size() == 12 && Mod10(data)) << data;
      break;
    case 102:
      EXPECT_TRUE(data.size() == 8 && Mod10(ExpandUpcE(data))) << data;
      break;
    case 103:
      EXPECT_TRUE(data.size() == 8 && Mod10(data)) << data;
      break;
    case 104:
      EXPECT_TRUE(data.size() == 13 && Mod10(data)) << data;
      break;
    case 106:
      EXPECT_TRUE(data.size() % 2 == 0 && Mod10(data)) << data;
      break;
    case 120:
    case 131:
      EXPECT_TRUE(data.substr(0, 2) == "01" && Mod10(data.substr(2, 14))) << data;
      break;
    default:
      EXPECT_FALSE(data.empty());
    }
  }
  std::sort(types.begin(), types.end());
  EXPECT_EQ(types.end(), std::adjacent_find(types.begin(), types.end())) << "a different symbology each time";
}

} // namespace
