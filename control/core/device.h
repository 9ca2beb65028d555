// The device core: one OPOS Scanner device as UnifiedPOS describes it, apart
// from any way of reaching it. It decides the life cycle (Open, ClaimDevice,
// DeviceEnabled, ReleaseDevice, Close), kept as one stage (closed, open,
// claimed, enabled), and the result code of every call, the property rules,
// and the event queue with its delivery rules (DataEventEnabled,
// FreezeEvents, AutoDisable, DataCount, ClearInput), kept apart from the
// stage as the input gate and the delivery gate. It forwards health checks,
// statistics and Direct IO to the device's service.
//
// Threads: every public method runs on the application's thread (the thread
// that created the control). The service reports input through the private
// IServiceSink from any thread; that input waits in the queue, and the core
// asks the platform (IWakeup) to call Deliver on the application's thread.
// Whether the service is enabled is decided on the application's thread only:
// AutoDisable, which happens on the service's thread, stops input at once and
// leaves the disabling of the service to the application's thread.
#pragma once

#include "control/core/event_queue.h"
#include "control/core/platform.h"
#include "control/core/properties.h"
#include "control/core/service.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace quillon::control {

class Device final : private IServiceSink {
public:
  struct Platform {
    IDeviceDirectory &directory;
    IClaim &claim;
    IWakeup &wakeup;
    IEventTarget &events;
    EventQueue::Limits queueLimits{};
  };

  explicit Device(Platform platform);
  Device(const Device &) = delete;
  Device &operator=(const Device &) = delete;
  ~Device();

  // ---- methods: each returns its result code and leaves it in ResultCode ----
  long Open(const std::wstring &deviceName);
  long Close();
  long ClaimDevice(long timeoutMs);
  long ReleaseDevice();
  long CheckHealth(long level);
  long ClearInput();
  long ClearInputProperties();
  // data and text are written back only when the command succeeds.
  long DirectIO(long command, long &data, std::wstring &text);
  // buffer: the request; the reply replaces it when the call succeeds.
  long RetrieveStatistics(std::wstring &buffer);
  long UpdateStatistics(const std::wstring &buffer);
  long ResetStatistics(const std::wstring &buffer);

  // ---- properties ----
  // Reads a property; one that needs the device open sets ResultCode.
  Value Get(Prop prop);
  // Writes a writable property (a boolean is any non-zero number) and sets
  // ResultCode. Returns false, changing nothing, for a read-only property.
  bool Put(Prop prop, long value);

  // ---- delivery ----
  // Delivers what may be delivered; the platform calls it on the
  // application's thread after IWakeup::Post.
  void Deliver();
  // The container's IOleControl::FreezeEvents: nested; no event is fired
  // while the count is above zero.
  void FreezeContainerEvents(bool freeze);

  // Marks a call of the application into the control: events are not
  // delivered inside it, and whatever became ready during it is delivered
  // after it.
  class CallScope {
  public:
    explicit CallScope(Device &device) : m_device(device) { m_device.EnterCall(); }
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;
    ~CallScope() { m_device.LeaveCall(); }

  private:
    Device &m_device;
  };

  // The control's own description and version.
  static constexpr long kControlVersion = 1014000; // 1.14.0
  static constexpr const wchar_t *kControlDescription = L"Quillon OPOS Scanner control object";

private:
  // IServiceSink, called from the service's threads.
  bool OnLabel(Label label) override;
  void OnPowerState(long powerState) override;
  bool OnInputError(long resultCode, long resultCodeExtended) override;
  bool OnStatusUpdate(long status) override;
  bool OnDirectIOEvent(long eventNumber, long data, std::wstring text) override;
  bool InputEnabled() override;

  void EnterCall();
  void LeaveCall();
  // Carries out an AutoDisable that happened on the service's thread.
  void Settle();
  long SetResult(long code, long extended = 0);
  // A fault injected by the service for this method call, if any.
  bool TakeFault(long &rc);
  // Whether the device's state falls short of what the method needs by the
  // member table; if so rc is the answer, left in ResultCode.
  bool Unmet(members::Id method, long &rc);
  bool StatisticsMayGoOn(members::Id method, long &rc);
  // The life cycle: each stage holds the ones before it.
  enum class Stage : unsigned char { Closed, Open, Claimed, Enabled };
  bool IsOpen() const { return m_stage != Stage::Closed; }
  bool IsClaimed() const { return m_stage >= Stage::Claimed; }
  bool IsEnabled() const { return m_stage == Stage::Enabled; }
  // Moves to another stage; takes m_lock, so not to be called with it held.
  void MoveTo(Stage stage);
  long SetDeviceEnabled(bool enable);
  void Disable();
  void Shutdown();
  void ResetProperties();
  long MapPower(long physical) const;
  bool QueueOther(QueuedEvent ev);
  void RequestDelivery();
  bool Deliverable();
  void Fire(QueuedEvent &ev);
  Value Read(Prop prop);
  long Write(Prop prop, long value);

  Platform m_platform;

  // Application-thread state.
  std::unique_ptr<IScannerService> m_service;
  Capabilities m_caps;
  std::wstring m_deviceName;
  std::uint64_t m_session = 0; // counts Opens and Closes, to notice one during a wait
  long m_resultCode = 0;
  long m_resultCodeExtended = 0;
  bool m_claiming = false; // the step from Open to Claimed: ClaimDevice waits for the claim
  bool m_decodeData = false;
  long m_binaryConversion = 0;
  std::wstring m_checkHealthText;
  std::string m_scanData;
  std::string m_scanDataLabel;
  long m_scanDataType = 0;

  // Shared with the service's threads, under m_lock.
  std::mutex m_lock;
  // The life cycle. Enabled means the service is enabled too. Written on the
  // application's thread only, under the lock (MoveTo); read there without it.
  Stage m_stage = Stage::Closed;
  // The input gate: whether the service's labels are taken.
  bool m_inputEnabled = false;       // enabled and not auto-disabled
  bool m_autoDisablePending = false; // AutoDisable stopped input; the service is still enabled
  bool m_autoDisable = false;
  long m_powerNotify = 0;
  long m_state = 1;
  long m_powerState = 2000;
  bool m_powerPending = false; // enabling: the first power state is not known yet
  EventQueue m_queue;

  // The delivery gate: whether queued events may be fired now.
  bool m_dataEventEnabled = false; // under m_lock
  bool m_freezeEvents = false;     // under m_lock
  std::atomic<bool> m_deliveryRequested{false};
  // On the application's thread only.
  int m_inCall = 0;
  int m_containerFreeze = 0;
  bool m_firing = false;
  bool m_deliverySkipped = false;
};

} // namespace quillon::control
