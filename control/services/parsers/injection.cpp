// The injection channel's payload readers: see injection.h.
#include "control/services/parsers/injection.h"

#include <cstring>

namespace quillon::control::injection {

bool ReadNumbers(const void *data, std::size_t size, inject::Numbers &out) {
  out = inject::Numbers{};
  if (!data || size < sizeof(inject::Numbers)) return false;
  std::memcpy(&out, data, sizeof(inject::Numbers));
  return true;
}

bool LabelReader::Next(Label &label) {
  if (m_size - m_pos < sizeof(inject::LabelRecord)) return false;
  inject::LabelRecord rec;
  std::memcpy(&rec, m_bytes + m_pos, sizeof rec);
  const std::size_t start = m_pos + sizeof rec;
  const std::size_t left = m_size - start;
  if (rec.rawLength > left || rec.dataLength > left - rec.rawLength) {
    m_pos = m_size; // the rest is not a record
    return false;
  }
  label.raw.assign(m_bytes + start, rec.rawLength);
  label.data.assign(m_bytes + start + rec.rawLength, rec.dataLength);
  label.type = rec.type;
  m_pos = start + rec.rawLength + rec.dataLength;
  return true;
}

} // namespace quillon::control::injection
