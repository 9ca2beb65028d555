// The payloads of the simulated device's injection channel (control/inject/protocol.h)
// as they arrive from another process: untrusted bytes of any length. Nothing
// here reads outside [data, data + size).
#pragma once

#include "control/core/service.h"
#include "control/inject/protocol.h"

#include <cstddef>
#include <cstdint>

namespace quillon::control::injection {

// The Numbers at the start of a payload; false when it is too short to hold them.
bool ReadNumbers(const void *data, std::size_t size, inject::Numbers &out);

// The label records of a Labels payload, one at a time, so that a large
// payload is never held twice.
class LabelReader {
public:
  LabelReader(const void *data, std::size_t size) : m_bytes(static_cast<const char *>(data)), m_size(data ? size : 0) {}
  // The next whole record; false at the end, or at a record whose lengths
  // reach past the payload (which ends the list).
  bool Next(Label &label);
  // Bytes read so far.
  std::size_t Consumed() const { return m_pos; }

private:
  const char *m_bytes;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

} // namespace quillon::control::injection
