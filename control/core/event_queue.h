// The events a device has raised and the application has not been given yet.
// Input events (DataEvent, ErrorEvent) wait for DataEventEnabled; the others
// (StatusUpdateEvent, DirectIOEvent) go as soon as events are not frozen.
// Both keep the order in which they were raised. The queue is bounded by the
// number of events in each kind and by the bytes all of them hold, so that
// no device can make it outgrow the process. Not thread-safe: the core holds
// its lock around every call.
#pragma once

#include "control/core/service.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace quillon::control {

enum class EventKind { Data, Error, Status, DirectIO };

struct QueuedEvent {
  EventKind kind = EventKind::Status;
  std::uint64_t sequence = 0; // order of raising, across both kinds
  Label label;                // Data
  long a = 0;                 // Error: result code; Status: status; DirectIO: event number
  long b = 0;                 // Error: extended code; DirectIO: data
  std::wstring text;          // DirectIO

  // What the event costs the queue: its own size and the bytes it holds.
  std::size_t Bytes() const;
};

class EventQueue {
public:
  struct Limits {
    std::size_t events = std::size_t{1} << 18; // of each kind
    std::size_t bytes = std::size_t{64} << 20; // of both kinds together
  };

  EventQueue() = default;
  explicit EventQueue(Limits limits) : m_limits(limits) {}

  // Adds an input event (Data or Error); false when the queue is full.
  bool PushInput(QueuedEvent ev);
  // Adds a StatusUpdate or DirectIO event; false when the queue is full.
  bool PushOther(QueuedEvent ev);

  bool InputWaiting() const { return !m_input.empty(); }
  bool OtherWaiting() const { return !m_other.empty(); }
  // Takes the event to deliver next: the older of the two fronts, the input
  // front only when input may go. False when nothing may go.
  bool TakeNext(bool inputMayGo, QueuedEvent &out);

  // Labels waiting (DataCount).
  long DataCount() const { return m_dataCount; }
  std::size_t Bytes() const { return m_inputBytes + m_otherBytes; }
  // Drops every input event (ClearInput, an ErrorEvent answered "clear").
  void ClearInput();
  void Clear();

private:
  bool Fits(const std::deque<QueuedEvent> &queue, std::size_t bytes) const;

  Limits m_limits;
  std::deque<QueuedEvent> m_input;
  std::deque<QueuedEvent> m_other;
  std::uint64_t m_sequence = 0;
  std::size_t m_inputBytes = 0;
  std::size_t m_otherBytes = 0;
  long m_dataCount = 0;
};

} // namespace quillon::control
