// What a serial scanner's bytes become: labels framed by the suffix, decoded
// by their AIM identifiers when the scanner sends them, and handed to the
// sink; and the input errors of the line. No I/O: the reader thread
// (control/win32/serial_scanner.cpp) feeds it what it reads and tells it the time.
//
// ErrorEvent codes of this device: line errors come as E_FAILURE with the
// line's error bits (CE_FRAME, CE_OVERRUN, CE_RXPARITY, CE_RXOVER, CE_BREAK)
// as ResultCodeExtended; a label cut short (no suffix within LabelTimeout, or
// the port lost in the middle of it) as E_TIMEOUT with the number of bytes
// dropped; a run of bytes too long to be a label as E_FAILURE, CE_RXOVER.
#pragma once

#include "control/core/service.h"
#include "control/services/parsers/aim.h"
#include "control/services/parsers/serial_settings.h"

#include <cstdint>
#include <string_view>

namespace quillon::control {

// The line's error bits, as the serial port reports them.
inline constexpr long kLineRxOver = 0x0001;   // CE_RXOVER
inline constexpr long kLineOverrun = 0x0002;  // CE_OVERRUN
inline constexpr long kLineRxParity = 0x0004; // CE_RXPARITY
inline constexpr long kLineFrame = 0x0008;    // CE_FRAME
inline constexpr long kLineBreak = 0x0010;    // CE_BREAK
inline constexpr long kLineErrors = kLineRxOver | kLineOverrun | kLineRxParity | kLineFrame | kLineBreak;

class SerialInput {
public:
  SerialInput(const SerialSettings &settings, IServiceSink &sink)
      : m_framer(settings.suffix), m_aimIds(settings.aimIds), m_labelTimeout(settings.labelTimeout), m_sink(sink) {}

  // Bytes read from the line at nowMs.
  void Bytes(std::string_view bytes, std::uint64_t nowMs);
  // Error bits the line reported.
  void LineErrors(long bits);
  // No bytes came until nowMs: a label begun too long ago is cut short.
  void Idle(std::uint64_t nowMs);
  // The port is gone: what was begun of a label is gone with it.
  void Lost();

private:
  void Cut();

  aim::Framer m_framer;
  bool m_aimIds;
  std::uint32_t m_labelTimeout;
  IServiceSink &m_sink;
  std::uint64_t m_lastByte = 0;
};

} // namespace quillon::control
