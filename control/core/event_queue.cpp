#include "control/core/event_queue.h"

#include <utility>

namespace quillon::control {

std::size_t QueuedEvent::Bytes() const {
  return sizeof(QueuedEvent) + label.raw.size() + label.data.size() + text.size() * sizeof(wchar_t);
}

bool EventQueue::Fits(const std::deque<QueuedEvent> &queue, std::size_t bytes) const {
  return queue.size() < m_limits.events && bytes <= m_limits.bytes && Bytes() <= m_limits.bytes - bytes;
}

bool EventQueue::PushInput(QueuedEvent ev) {
  const std::size_t bytes = ev.Bytes();
  if (!Fits(m_input, bytes)) return false;
  ev.sequence = ++m_sequence;
  const bool data = ev.kind == EventKind::Data;
  m_input.push_back(std::move(ev));
  m_inputBytes += bytes;
  if (data) ++m_dataCount;
  return true;
}

bool EventQueue::PushOther(QueuedEvent ev) {
  const std::size_t bytes = ev.Bytes();
  if (!Fits(m_other, bytes)) return false;
  ev.sequence = ++m_sequence;
  m_other.push_back(std::move(ev));
  m_otherBytes += bytes;
  return true;
}

bool EventQueue::TakeNext(bool inputMayGo, QueuedEvent &out) {
  const bool input = inputMayGo && !m_input.empty();
  if (!input && m_other.empty()) return false;
  if (input && (m_other.empty() || m_input.front().sequence < m_other.front().sequence)) {
    out = std::move(m_input.front());
    m_input.pop_front();
    m_inputBytes -= out.Bytes();
    if (out.kind == EventKind::Data) --m_dataCount;
  } else {
    out = std::move(m_other.front());
    m_other.pop_front();
    m_otherBytes -= out.Bytes();
  }
  return true;
}

void EventQueue::ClearInput() {
  m_input.clear();
  m_inputBytes = 0;
  m_dataCount = 0;
}

void EventQueue::Clear() {
  ClearInput();
  m_other.clear();
  m_otherBytes = 0;
}

} // namespace quillon::control
