// The control's events: the device core's event target, translated to
// IDispatch::Invoke on each sink advised at the control's one connection
// point (its event source interface).
#pragma once

#include "control/core/platform.h"
#include "comkit/connection_point.h"

namespace quillon::control {

class EventSource final : public IEventTarget {
public:
  // The point lives inside the control: its references are the control's.
  explicit EventSource(IUnknown &owner);

  comkit::ConnectionPoint &Point() { return m_point; }

  // IEventTarget: fires to every sink advised when the event starts.
  void DataEvent(long status) override;
  void ErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long &errorResponse) override;
  void StatusUpdateEvent(long status) override;
  void DirectIOEvent(long eventNumber, long &data, std::wstring &text) override;

private:
  comkit::ConnectionPoint m_point;
};

} // namespace quillon::control
