#include "control/services/parsers/serial_settings.h"

#include "control/core/opos.h"

#include <algorithm>

namespace quillon::control {
namespace {

bool Digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring Upper(std::wstring s) {
  for (wchar_t &c : s)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return s;
}

// Up to nine decimal digits, nothing else.
bool Decimal(const std::wstring &text, std::uint32_t &value) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), Digit)) return false;
  value = 0;
  for (const wchar_t c : text)
    value = value * 10 + static_cast<std::uint32_t>(c - L'0');
  return true;
}

// A setting given as REG_DWORD or as a decimal REG_SZ; false when malformed.
bool NumberSetting(const ServiceConfig &config, const wchar_t *name, std::uint32_t fallback, std::uint32_t &value) {
  const auto n = config.numbers.find(name);
  if (n != config.numbers.end()) {
    value = n->second;
    return true;
  }
  const auto t = config.texts.find(name);
  if (t == config.texts.end()) {
    value = fallback;
    return true;
  }
  return Decimal(t->second, value);
}

// The text of a setting, a number given as REG_DWORD written out.
std::wstring TextSetting(const ServiceConfig &config, const wchar_t *name, const std::wstring &fallback) {
  const auto n = config.numbers.find(name);
  if (n != config.numbers.end()) return std::to_wstring(n->second);
  return config.Text(name, fallback);
}

bool ValidPort(const std::wstring &port) {
  if (port.size() < 4 || port.size() > 6 || port.compare(0, 3, L"COM") != 0) return false;
  std::uint32_t number = 0;
  return port[3] != L'0' && Decimal(port.substr(3), number) && number <= 255;
}

bool ParseParity(const std::wstring &text, Parity &parity) {
  const std::wstring p = Upper(text);
  if (p == L"N" || p == L"NONE")
    parity = Parity::None;
  else if (p == L"E" || p == L"EVEN")
    parity = Parity::Even;
  else if (p == L"O" || p == L"ODD")
    parity = Parity::Odd;
  else if (p == L"M" || p == L"MARK")
    parity = Parity::Mark;
  else if (p == L"S" || p == L"SPACE")
    parity = Parity::Space;
  else
    return false;
  return true;
}

bool ParseStopBits(const std::wstring &text, StopBits &stopBits) {
  if (text == L"1")
    stopBits = StopBits::One;
  else if (text == L"1.5")
    stopBits = StopBits::OneAndHalf;
  else if (text == L"2")
    stopBits = StopBits::Two;
  else
    return false;
  return true;
}

} // namespace

std::wstring SerialSettings::LineText() const {
  static const wchar_t *const kParity[] = {L"N", L"O", L"E", L"M", L"S"};
  static const wchar_t *const kStop[] = {L"1", L"1.5", L"2"};
  return port + L" " + std::to_wstring(baudRate) + L" " + std::to_wstring(dataBits) +
         kParity[static_cast<int>(parity)] + kStop[static_cast<int>(stopBits)];
}

bool ParseSerialSettings(const ServiceConfig &config, SerialSettings &s, std::wstring &problem) {
  s = SerialSettings{};
  s.port = Upper(config.Text(L"Port", L""));
  if (!ValidPort(s.port)) {
    problem = L"Port must be COM1 to COM255, not \"" + config.Text(L"Port", L"") + L"\"";
    return false;
  }
  std::uint32_t n = 0;
  if (!NumberSetting(config, L"BaudRate", 9600, n) || n < 50 || n > 4000000) {
    problem = L"BaudRate must be a number from 50 to 4000000";
    return false;
  }
  s.baudRate = n;
  if (!NumberSetting(config, L"DataBits", 8, n) || n < 5 || n > 8) {
    problem = L"DataBits must be 5, 6, 7 or 8";
    return false;
  }
  s.dataBits = static_cast<std::uint8_t>(n);
  if (!ParseParity(TextSetting(config, L"Parity", L"N"), s.parity)) {
    problem = L"Parity must be N, E, O, M or S";
    return false;
  }
  if (!ParseStopBits(TextSetting(config, L"StopBits", L"1"), s.stopBits)) {
    problem = L"StopBits must be 1, 1.5 or 2";
    return false;
  }
  // A UART offers 1.5 stop bits with 5 data bits only, and 2 with 6 to 8.
  if ((s.stopBits == StopBits::OneAndHalf) != (s.dataBits == 5) && s.stopBits != StopBits::One) {
    problem = L"StopBits 1.5 goes with DataBits 5 only, StopBits 2 with DataBits 6 to 8";
    return false;
  }
  if (!aim::ParseSuffix(TextSetting(config, L"Suffix", L"CR"), s.suffix)) {
    problem = L"Suffix must be CR, LF or CRLF";
    return false;
  }
  if (!NumberSetting(config, L"AimIds", 0, n) || n > 1) {
    problem = L"AimIds must be 0 or 1";
    return false;
  }
  s.aimIds = n != 0;
  if (!NumberSetting(config, L"LabelTimeout", 500, n) || n < 10 || n > 60000) {
    problem = L"LabelTimeout must be 10 to 60000 ms";
    return false;
  }
  s.labelTimeout = n;
  if (!NumberSetting(config, L"PowerReporting", opos::PR_ADVANCED, n) || n > opos::PR_ADVANCED) {
    problem = L"PowerReporting must be 0, 1 or 2";
    return false;
  }
  s.powerReporting = static_cast<long>(n);
  s.description = config.Text(L"Description", L"Quillon serial scanner");
  return true;
}

} // namespace quillon::control
