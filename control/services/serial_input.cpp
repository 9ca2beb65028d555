#include "control/services/serial_input.h"

#include "control/core/opos.h"

#include <utility>

namespace quillon::control {

void SerialInput::Bytes(std::string_view bytes, std::uint64_t nowMs) {
  if (bytes.empty()) return;
  m_lastByte = nowMs;
  aim::Framer::Output out = m_framer.Feed(bytes);
  for (std::string &raw : out.labels) {
    Label label;
    if (m_aimIds) {
      aim::Decoded d = aim::DecodeAim(raw);
      label.type = d.type;
      label.data = std::move(d.data);
    } else {
      label.data = raw;
    }
    label.raw = std::move(raw);
    m_sink.OnLabel(std::move(label));
  }
  for (size_t i = 0; i < out.overruns; ++i)
    m_sink.OnInputError(opos::E_FAILURE, kLineRxOver);
}

void SerialInput::LineErrors(long bits) {
  if (bits & kLineErrors) m_sink.OnInputError(opos::E_FAILURE, bits & kLineErrors);
}

void SerialInput::Idle(std::uint64_t nowMs) {
  if (m_framer.Pending() && nowMs - m_lastByte >= m_labelTimeout) Cut();
}

void SerialInput::Lost() { Cut(); }

void SerialInput::Cut() {
  if (const size_t cut = m_framer.DropPending()) m_sink.OnInputError(opos::E_TIMEOUT, static_cast<long>(cut));
}

} // namespace quillon::control
