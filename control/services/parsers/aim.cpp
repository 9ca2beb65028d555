// Framing and symbology identifiers: see aim.h.
#include "control/services/parsers/aim.h"

#include "control/core/opos.h"

#include <algorithm>

namespace quillon::control::aim {

// ---- framing --------------------------------------------------------------------

void Framer::End(Output &out) {
  if (m_overrun) {
    m_overrun = false;
    m_buffer.clear();
    return;
  }
  if (!m_buffer.empty()) out.labels.push_back(std::move(m_buffer));
  m_buffer.clear();
}

Framer::Output Framer::Feed(std::string_view bytes) {
  Output out;
  for (const char c : bytes) {
    const bool afterCr = m_afterCr;
    m_afterCr = c == '\r';
    bool end = false;
    switch (m_suffix) {
    case Suffix::CR:
      if (c == '\n' && m_skipLf) {
        m_skipLf = false;
        continue;
      }
      m_skipLf = c == '\r';
      end = c == '\r';
      break;
    case Suffix::LF:
      end = c == '\n';
      if (end && afterCr && !m_buffer.empty()) m_buffer.pop_back();
      break;
    case Suffix::CRLF:
      end = c == '\n' && afterCr;
      if (end && !m_buffer.empty()) m_buffer.pop_back();
      break;
    }
    if (end) {
      End(out);
      continue;
    }
    if (m_overrun) continue;
    // With suffix LF or CR LF a CR may be the suffix's first byte: it does
    // not count against the label until a byte other than LF follows it.
    const bool maybeSuffix = c == '\r' && m_suffix != Suffix::CR;
    if (m_buffer.size() >= m_maxLabel + (maybeSuffix ? 1 : 0)) {
      ++out.overruns;
      m_overrun = true;
      m_buffer.clear();
      continue;
    }
    m_buffer.push_back(c);
  }
  return out;
}

size_t Framer::DropPending() {
  const size_t n = m_buffer.size();
  m_buffer.clear();
  m_overrun = false;
  m_afterCr = false;
  return n;
}

bool ParseSuffix(std::wstring_view text, Suffix &suffix) {
  std::wstring t(text);
  std::transform(t.begin(), t.end(), t.begin(), [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; });
  if (t == L"CR")
    suffix = Suffix::CR;
  else if (t == L"LF")
    suffix = Suffix::LF;
  else if (t == L"CRLF" || t == L"CR LF")
    suffix = Suffix::CRLF;
  else
    return false;
  return true;
}

// ---- symbology identifiers ------------------------------------------------------------

namespace {

// ScanDataType values beyond those the simulated device uses.
constexpr long kDiscrete2of5 = 105;
constexpr long kUpcAAddOn = 111;
constexpr long kUpcEAddOn = 112;
constexpr long kEan8AddOn = 118;
constexpr long kEan13AddOn = 119;
constexpr long kDataBarExpanded = 132;
constexpr long kIsbt128 = 141;
constexpr long kMaxiCode = 202;
constexpr long kAztec = 206;
constexpr long kGs1DataMatrix = 208;
constexpr long kGs1Qr = 209;
constexpr long kHanXin = 215;

bool Digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool Letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A UPC-E label: eight digits, number system 0 or 1.
bool UpcE(std::string_view s) { return s.size() == 8 && (s[0] == '0' || s[0] == '1'); }

// The main symbol of the EAN/UPC family by its length; UPC-A sent as thirteen
// digits loses its leading zero. Type 0 when the length fits none.
long EanUpc(std::string &main) {
  if (!Digits(main)) return opos::SCAN_SDT_UNKNOWN;
  switch (main.size()) {
  case 13:
    if (main[0] != '0') return opos::SCAN_SDT_EAN13;
    main.erase(0, 1);
    return opos::SCAN_SDT_UPCA;
  case 12:
    return opos::SCAN_SDT_UPCA;
  case 8:
    return UpcE(main) ? opos::SCAN_SDT_UPCE : opos::SCAN_SDT_EAN8;
  }
  return opos::SCAN_SDT_UNKNOWN;
}

// The same symbol with an add-on.
long WithAddOn(long mainType) {
  switch (mainType) {
  case opos::SCAN_SDT_EAN13:
    return kEan13AddOn;
  case opos::SCAN_SDT_UPCA:
    return kUpcAAddOn;
  case opos::SCAN_SDT_UPCE:
    return kUpcEAddOn;
  case opos::SCAN_SDT_EAN8:
    return kEan8AddOn;
  }
  return opos::SCAN_SDT_UNKNOWN;
}

// ]E0 / ]E4 data, perhaps followed by a separate add-on packet "]E1nn" or
// "]E2nnnnn" in the same message.
Decoded EanPackets(char modifier, std::string_view body) {
  Decoded d;
  std::string main(body);
  std::string addOn;
  const size_t at = body.find("]E");
  if (at != std::string_view::npos && at + 3 <= body.size() && (body[at + 2] == '1' || body[at + 2] == '2')) {
    main = std::string(body.substr(0, at));
    addOn = std::string(body.substr(at + 3));
    const size_t want = body[at + 2] == '1' ? 2 : 5;
    if (addOn.size() != want || !Digits(addOn)) return Decoded{opos::SCAN_SDT_UNKNOWN, std::string(body)};
  }
  long type = opos::SCAN_SDT_UNKNOWN;
  if (modifier == '4')
    type = main.size() == 8 && Digits(main) ? opos::SCAN_SDT_EAN8 : opos::SCAN_SDT_UNKNOWN;
  else if (main.size() == 8 && Digits(main))
    type = UpcE(main) ? opos::SCAN_SDT_UPCE : opos::SCAN_SDT_UNKNOWN;
  else
    type = EanUpc(main);
  if (type == opos::SCAN_SDT_UNKNOWN) return Decoded{type, std::string(body)};
  if (!addOn.empty()) type = WithAddOn(type);
  d.type = type;
  d.data = main + addOn;
  return d;
}

// ]E3: main symbol and add-on in one packet; the total length tells them apart.
Decoded EanCombined(std::string_view body) {
  if (!Digits(body)) return Decoded{opos::SCAN_SDT_UNKNOWN, std::string(body)};
  size_t mainLength = 0;
  switch (body.size()) {
  case 15:
  case 18:
    mainLength = 13;
    break;
  case 14:
  case 17:
    mainLength = 12;
    break;
  case 10:
  case 13:
    mainLength = 8;
    break;
  default:
    return Decoded{opos::SCAN_SDT_UNKNOWN, std::string(body)};
  }
  std::string main(body.substr(0, mainLength));
  const long type = EanUpc(main);
  return Decoded{WithAddOn(type), main + std::string(body.substr(mainLength))};
}

// GS1 DataBar omnidirectional carries "01" and fourteen digits; anything else
// under ]e0 is the expanded form.
long DataBar(std::string_view body) {
  return body.size() == 16 && body.substr(0, 2) == "01" && Digits(body) ? opos::SCAN_SDT_RSS14 : kDataBarExpanded;
}

bool In(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

} // namespace

Decoded DecodeAim(std::string_view label) {
  if (label.size() < 3 || label[0] != ']' || !Letter(label[1]) || !Alnum(label[2]))
    return Decoded{opos::SCAN_SDT_UNKNOWN, std::string(label)};
  const char c = label[1];
  const char m = label[2];
  const std::string_view body = label.substr(3);
  auto plain = [&](long type) { return Decoded{type, std::string(body)}; };
  switch (c) {
  case 'A':
    if (In(m, "01234567")) return plain(opos::SCAN_SDT_Code39);
    break;
  case 'C':
    if (m == '1') return plain(opos::SCAN_SDT_EAN128);
    if (m == '4') return plain(kIsbt128);
    if (In(m, "02")) return plain(opos::SCAN_SDT_Code128);
    break;
  case 'E':
    if (m == '0' || m == '4') return EanPackets(m, body);
    if (m == '3') return EanCombined(body);
    break;
  case 'I':
    if (In(m, "0123")) return plain(opos::SCAN_SDT_TF);
    break;
  case 'F':
    if (In(m, "01234")) return plain(opos::SCAN_SDT_Codabar);
    break;
  case 'G':
    if (In(m, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) return plain(opos::SCAN_SDT_Code93);
    break;
  case 'S':
    if (In(m, "012")) return plain(kDiscrete2of5);
    break;
  case 'e':
    if (m == '0') return plain(DataBar(body));
    break;
  case 'L':
    if (In(m, "012")) return plain(opos::SCAN_SDT_PDF417);
    break;
  case 'Q':
    if (m == '3') return plain(kGs1Qr);
    if (In(m, "012456")) return plain(opos::SCAN_SDT_QRCODE);
    break;
  case 'd':
    if (m == '2') return plain(kGs1DataMatrix);
    if (In(m, "013456")) return plain(opos::SCAN_SDT_DATAMATRIX);
    break;
  case 'z':
    if (In(m, "0123456789ABC")) return plain(kAztec);
    break;
  case 'U':
    if (In(m, "0123")) return plain(kMaxiCode);
    break;
  case 'h':
    if (m == '0') return plain(kHanXin);
    break;
  }
  return plain(opos::SCAN_SDT_UNKNOWN);
}

} // namespace quillon::control::aim
