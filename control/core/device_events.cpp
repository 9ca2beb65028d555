// The device core's input and its delivery: what the service reports (on its
// own threads) is queued under the lock; the application's thread takes it
// from the queue and fires it, one event at a time, under the delivery rules.
#include "control/core/device.h"

#include "control/core/opos.h"

#include <new>
#include <utility>

namespace quillon::control {
namespace {

constexpr int kEventsPerWakeup = 256; // then the application's other messages get a turn

} // namespace

long Device::MapPower(long physical) const {
  if (m_caps.powerReporting == opos::PR_STANDARD && (physical == opos::PS_OFF || physical == opos::PS_OFFLINE))
    return opos::PS_OFF_OFFLINE;
  return physical;
}

// ---- input from the service (any thread) -------------------------------------------
// None of these throws: a queue that cannot grow refuses the input.

bool Device::OnLabel(Label label) {
  try {
    {
      std::lock_guard lock(m_lock);
      if (!IsOpen() || !m_inputEnabled) return false;
      if (!m_queue.PushInput({EventKind::Data, 0, std::move(label)})) return false;
      if (m_autoDisable) {
        m_inputEnabled = false;
        m_autoDisablePending = true;
        m_powerState = opos::PS_UNKNOWN;
      }
    }
    RequestDelivery();
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

bool Device::OnInputError(long resultCode, long resultCodeExtended) {
  try {
    {
      std::lock_guard lock(m_lock);
      if (!IsOpen() || !m_inputEnabled) return false;
      if (!m_queue.PushInput({EventKind::Error, 0, {}, resultCode, resultCodeExtended})) return false;
      m_state = opos::S_ERROR;
    }
    RequestDelivery();
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

void Device::OnPowerState(long powerState) {
  try {
    {
      std::lock_guard lock(m_lock);
      if (!IsOpen() || !m_inputEnabled || !m_powerNotify || !m_caps.powerReporting) return;
      const long mapped = MapPower(powerState);
      m_powerPending = false;
      if (mapped == m_powerState) return;
      m_powerState = mapped;
      QueueOther({EventKind::Status, 0, {}, mapped});
    }
    RequestDelivery();
  } catch (const std::bad_alloc &) {
  }
}

bool Device::OnStatusUpdate(long status) {
  try {
    {
      std::lock_guard lock(m_lock);
      if (!IsOpen() || !QueueOther({EventKind::Status, 0, {}, status})) return false;
    }
    RequestDelivery();
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

bool Device::OnDirectIOEvent(long eventNumber, long data, std::wstring text) {
  try {
    {
      std::lock_guard lock(m_lock);
      if (!IsOpen() || !QueueOther({EventKind::DirectIO, 0, {}, eventNumber, data, std::move(text)})) return false;
    }
    RequestDelivery();
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

bool Device::InputEnabled() {
  std::lock_guard lock(m_lock);
  return IsOpen() && m_inputEnabled;
}

// Called with m_lock held.
bool Device::QueueOther(QueuedEvent ev) { return m_queue.PushOther(std::move(ev)); }

// ---- delivery, on the application's thread ------------------------------------------

void Device::RequestDelivery() {
  if (m_deliveryRequested.exchange(true)) return; // one wake-up is on its way
  // A wake-up that could not be sent is asked for again by the next request,
  // at the latest when the application's current or next call ends.
  if (!m_platform.wakeup.Post()) m_deliveryRequested = false;
}

bool Device::Deliverable() {
  std::lock_guard lock(m_lock);
  return IsOpen() && !m_freezeEvents && (m_queue.OtherWaiting() || (m_dataEventEnabled && m_queue.InputWaiting()));
}

void Device::FreezeContainerEvents(bool freeze) {
  Settle();
  if (freeze)
    ++m_containerFreeze;
  else if (m_containerFreeze > 0 && --m_containerFreeze == 0)
    RequestDelivery();
}

void Device::Deliver() {
  m_deliveryRequested = false;
  if (m_firing) return; // a handler is running messages; the loop below goes on after it
  if (m_inCall > 0) {
    m_deliverySkipped = true; // LeaveCall asks again
    return;
  }
  Settle();
  for (int n = 0;; ++n) {
    // The container may freeze events from inside a handler: asked before every event.
    if (m_containerFreeze > 0) return;
    QueuedEvent ev;
    {
      std::lock_guard lock(m_lock);
      if (!IsOpen() || m_freezeEvents) return;
      if (n == kEventsPerWakeup) break;
      if (!m_queue.TakeNext(m_dataEventEnabled, ev)) return;
      if (ev.kind == EventKind::Data || ev.kind == EventKind::Error) m_dataEventEnabled = false;
    }
    if (ev.kind == EventKind::Data) {
      m_scanData = ev.label.raw;
      m_scanDataLabel = m_decodeData ? ev.label.data : std::string();
      m_scanDataType = m_decodeData ? ev.label.type : opos::SCAN_SDT_UNKNOWN;
      m_service->LabelDelivered();
    }
    Fire(ev);
  }
  RequestDelivery(); // more than one turn's worth: the rest after the other messages
}

void Device::Fire(QueuedEvent &ev) {
  m_firing = true;
  struct Done {
    bool &firing;
    ~Done() { firing = false; }
  } done{m_firing};
  IEventTarget &target = m_platform.events;
  switch (ev.kind) {
  case EventKind::Data:
    target.DataEvent(0);
    break;
  case EventKind::Status:
    target.StatusUpdateEvent(ev.a);
    break;
  case EventKind::DirectIO:
    target.DirectIOEvent(ev.a, ev.b, ev.text);
    break;
  case EventKind::Error: {
    long response = opos::ER_CLEAR;
    target.ErrorEvent(ev.a, ev.b, opos::EL_INPUT, response);
    std::lock_guard lock(m_lock);
    if (response == opos::ER_CLEAR) m_queue.ClearInput();
    if (IsOpen()) m_state = opos::S_IDLE;
    break;
  }
  }
}

} // namespace quillon::control
