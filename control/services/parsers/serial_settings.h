// The line settings of a serial scanner, read from its device entry: Port
// (COMn), BaudRate, DataBits (5 to 8), Parity (N, E, O, M, S), StopBits (1,
// 1.5, 2), Suffix (CR, LF, CRLF), AimIds (0, 1), LabelTimeout (ms a label may
// stay without its suffix), PowerReporting (0, 1, 2), Description. A number
// may be given as REG_DWORD or as decimal text.
#pragma once

#include "control/core/service.h"
#include "control/services/parsers/aim.h"

#include <cstdint>
#include <string>

namespace quillon::control {

// Parity and stop bits by the numbers the serial port's settings (DCB) use.
enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };

struct SerialSettings {
  std::wstring port; // "COM5"
  std::uint32_t baudRate = 9600;
  std::uint8_t dataBits = 8;
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  aim::Suffix suffix = aim::Suffix::CR;
  bool aimIds = false;
  std::uint32_t labelTimeout = 500;
  long powerReporting = 2;
  std::wstring description;

  // "COM5 115200 8N1"
  std::wstring LineText() const;
};

// Reads the settings; on a bad value returns false and names it in `problem`.
bool ParseSerialSettings(const ServiceConfig &config, SerialSettings &settings, std::wstring &problem);

} // namespace quillon::control
