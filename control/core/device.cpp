// The device core's life cycle and methods: see device.h. Input, events and
// their delivery are in device_events.cpp, properties in device_properties.cpp.
#include "control/core/device.h"

#include "control/core/opos.h"

#include <utility>

namespace quillon::control {

Device::Device(Platform platform) : m_platform(platform), m_queue(platform.queueLimits) {}

Device::~Device() { Shutdown(); }

long Device::SetResult(long code, long extended) {
  m_resultCode = code;
  m_resultCodeExtended = code == opos::SUCCESS ? 0 : extended;
  return code;
}

bool Device::Unmet(members::Id method, long &rc) {
  const members::Member *m = members::Find(method);
  const members::Needs needs = m ? m->needs : members::Needs::Nothing;
  if (needs == members::Needs::Nothing) return false;
  if (!IsOpen())
    rc = opos::E_CLOSED;
  else if (needs == members::Needs::Claimed && !IsClaimed())
    rc = opos::E_NOTCLAIMED;
  else if (needs == members::Needs::Enabled && !IsEnabled())
    rc = opos::E_DISABLED;
  else
    return false;
  SetResult(rc);
  return true;
}

bool Device::TakeFault(long &rc) {
  Result fault;
  if (!IsOpen() || !m_service || !m_service->TakeInjectedFault(fault)) return false;
  rc = SetResult(fault.code, fault.extended);
  return true;
}

void Device::MoveTo(Stage stage) {
  std::lock_guard lock(m_lock);
  m_stage = stage;
}

void Device::EnterCall() {
  ++m_inCall;
  Settle();
}

void Device::LeaveCall() {
  if (--m_inCall > 0) return;
  // What became ready during the call (or could not be announced) goes now.
  if (std::exchange(m_deliverySkipped, false) || Deliverable()) RequestDelivery();
}

void Device::Settle() {
  bool autoDisabled = false;
  {
    std::lock_guard lock(m_lock);
    autoDisabled = std::exchange(m_autoDisablePending, false);
  }
  if (autoDisabled && IsEnabled()) {
    MoveTo(Stage::Claimed);
    m_service->Enable(false);
  }
}

// ---- open and close ----------------------------------------------------------------

long Device::Open(const std::wstring &deviceName) {
  Settle();
  if (IsOpen()) return SetResult(opos::E_ILLEGAL);
  if (deviceName.empty() || deviceName.size() > 255 || deviceName.find(L'\\') != std::wstring::npos ||
      deviceName.find(L'\0') != std::wstring::npos)
    return SetResult(opos::E_NOEXIST);
  ServiceConfig config;
  if (!m_platform.directory.Find(deviceName, config)) return SetResult(opos::E_NOEXIST);
  if (!m_platform.wakeup.Prepare()) return SetResult(opos::E_FAILURE);
  std::unique_ptr<IScannerService> service = m_platform.directory.Create(config.serviceName);
  if (!service) return SetResult(opos::E_NOSERVICE);
  const long rc = service->Open(config, this);
  if (rc != opos::SUCCESS) {
    service->Close();
    return SetResult(rc);
  }
  m_service = std::move(service);
  m_caps = m_service->Caps();
  m_deviceName = deviceName;
  ResetProperties();
  ++m_session;
  {
    std::lock_guard lock(m_lock);
    m_stage = Stage::Open;
    m_inputEnabled = m_autoDisablePending = m_autoDisable = m_dataEventEnabled = m_freezeEvents = false;
    m_powerNotify = opos::PN_DISABLED;
    m_state = opos::S_IDLE;
    m_powerState = opos::PS_UNKNOWN;
    m_powerPending = false;
    m_queue.Clear();
  }
  return SetResult(opos::SUCCESS);
}

void Device::ResetProperties() {
  m_decodeData = false;
  m_binaryConversion = opos::BC_NONE;
  m_checkHealthText.clear();
  m_scanData.clear();
  m_scanDataLabel.clear();
  m_scanDataType = opos::SCAN_SDT_UNKNOWN;
}

void Device::Shutdown() {
  if (!IsOpen()) return;
  Disable();
  if (IsClaimed()) {
    m_platform.claim.Release();
    MoveTo(Stage::Open);
  }
  m_service->Close(); // no more sink calls after this
  {
    std::lock_guard lock(m_lock);
    m_stage = Stage::Closed;
    m_inputEnabled = m_autoDisablePending = m_dataEventEnabled = m_freezeEvents = m_autoDisable = false;
    m_state = opos::S_CLOSED;
    m_powerState = opos::PS_UNKNOWN;
    m_queue.Clear();
  }
  m_service.reset();
  m_caps = {};
  ResetProperties();
  ++m_session;
}

long Device::Close() {
  Settle();
  long rc = opos::SUCCESS;
  if (Unmet(members::Close, rc)) return rc;
  Shutdown();
  return SetResult(opos::SUCCESS);
}

// ---- claim and enable --------------------------------------------------------------

long Device::ClaimDevice(long timeoutMs) {
  Settle();
  long rc = opos::SUCCESS;
  if (TakeFault(rc) || Unmet(members::ClaimDevice, rc)) return rc;
  if (timeoutMs < -1) return SetResult(opos::E_ILLEGAL);
  if (IsClaimed()) return SetResult(opos::SUCCESS);
  if (m_claiming) return SetResult(opos::E_ILLEGAL); // a second claim from inside the wait
  // The wait runs the application's messages: the device may be closed, or
  // closed and opened again, before it ends.
  const std::uint64_t session = m_session;
  m_claiming = true;
  rc = m_platform.claim.Acquire(m_deviceName, timeoutMs);
  m_claiming = false;
  if (session != m_session) {
    if (rc == opos::SUCCESS) m_platform.claim.Release();
    return SetResult(IsOpen() ? opos::E_ILLEGAL : opos::E_CLOSED);
  }
  if (rc == opos::SUCCESS) MoveTo(Stage::Claimed);
  return SetResult(rc);
}

long Device::ReleaseDevice() {
  Settle();
  long rc = opos::SUCCESS;
  if (TakeFault(rc) || Unmet(members::ReleaseDevice, rc)) return rc;
  if (!IsClaimed()) return SetResult(opos::E_ILLEGAL);
  Disable();
  m_platform.claim.Release();
  MoveTo(Stage::Open);
  return SetResult(opos::SUCCESS);
}

long Device::SetDeviceEnabled(bool enable) {
  if (!IsClaimed()) return m_platform.claim.HeldElsewhere(m_deviceName) ? opos::E_CLAIMED : opos::E_NOTCLAIMED;
  if (!enable) {
    Disable();
    RequestDelivery();
    return opos::SUCCESS;
  }
  if (IsEnabled()) return opos::SUCCESS;
  const long rc = m_service->Enable(true);
  if (rc != opos::SUCCESS) return rc;
  {
    // From here on power reports count; the first state is whichever comes
    // first, a report or the device's answer below.
    std::lock_guard lock(m_lock);
    m_stage = Stage::Enabled;
    m_inputEnabled = true;
    m_autoDisablePending = false;
    m_powerPending = true;
    m_powerState = opos::PS_UNKNOWN;
  }
  const long power = MapPower(m_service->CurrentPowerState());
  {
    std::lock_guard lock(m_lock);
    if (m_powerPending) {
      m_powerPending = false;
      if (m_caps.powerReporting && m_powerNotify) {
        m_powerState = power;
        QueueOther({EventKind::Status, 0, {}, power});
      }
    }
  }
  RequestDelivery();
  return opos::SUCCESS;
}

void Device::Disable() {
  {
    std::lock_guard lock(m_lock);
    m_inputEnabled = false;
    m_autoDisablePending = false;
    m_powerPending = false;
    m_powerState = opos::PS_UNKNOWN;
  }
  if (IsEnabled()) {
    MoveTo(Stage::Claimed);
    m_service->Enable(false);
  }
}

// ---- the other methods ---------------------------------------------------------------

long Device::CheckHealth(long level) {
  Settle();
  long rc = opos::SUCCESS;
  if (TakeFault(rc) || Unmet(members::CheckHealth, rc)) return rc;
  if (level < opos::CH_INTERNAL || level > opos::CH_INTERACTIVE) return SetResult(opos::E_ILLEGAL);
  std::wstring text;
  rc = m_service->CheckHealth(level, text);
  if (rc == opos::SUCCESS) m_checkHealthText = std::move(text);
  return SetResult(rc);
}

long Device::ClearInput() {
  Settle();
  long rc = opos::SUCCESS;
  if (TakeFault(rc) || Unmet(members::ClearInput, rc)) return rc;
  std::lock_guard lock(m_lock);
  m_queue.ClearInput();
  m_state = opos::S_IDLE;
  return SetResult(opos::SUCCESS);
}

long Device::ClearInputProperties() {
  Settle();
  long rc = opos::SUCCESS;
  if (TakeFault(rc) || Unmet(members::ClearInputProperties, rc)) return rc;
  m_scanData.clear();
  m_scanDataLabel.clear();
  m_scanDataType = opos::SCAN_SDT_UNKNOWN;
  return SetResult(opos::SUCCESS);
}

long Device::DirectIO(long command, long &data, std::wstring &text) {
  Settle();
  long rc = opos::SUCCESS;
  if (TakeFault(rc) || Unmet(members::DirectIO, rc)) return rc;
  long d = data;
  std::wstring t = text;
  rc = m_service->DirectIO(command, d, t, IsClaimed());
  if (rc == opos::SUCCESS) { // a refused command leaves the caller's arguments alone
    data = d;
    text = std::move(t);
  }
  return SetResult(rc);
}

// What the three statistics methods check before the service is asked, in
// this order; false with the call's answer in rc when it stops here.
bool Device::StatisticsMayGoOn(members::Id method, long &rc) {
  Settle();
  rc = opos::SUCCESS;
  if (TakeFault(rc) || Unmet(method, rc)) return false;
  const bool updating = method != members::RetrieveStatistics;
  if (!m_caps.statisticsReporting || (updating && !m_caps.updateStatistics)) {
    rc = SetResult(opos::E_ILLEGAL);
    return false;
  }
  return true;
}

long Device::RetrieveStatistics(std::wstring &buffer) {
  long rc = opos::SUCCESS;
  if (!StatisticsMayGoOn(members::RetrieveStatistics, rc)) return rc;
  std::wstring reply = buffer;
  const Result r = m_service->RetrieveStatistics(reply);
  if (r.code == opos::SUCCESS) buffer = std::move(reply);
  return SetResult(r.code, r.extended);
}

long Device::UpdateStatistics(const std::wstring &buffer) {
  long rc = opos::SUCCESS;
  if (!StatisticsMayGoOn(members::UpdateStatistics, rc)) return rc;
  const Result r = m_service->UpdateStatistics(buffer);
  return SetResult(r.code, r.extended);
}

long Device::ResetStatistics(const std::wstring &buffer) {
  long rc = opos::SUCCESS;
  if (!StatisticsMayGoOn(members::ResetStatistics, rc)) return rc;
  const Result r = m_service->ResetStatistics(buffer);
  return SetResult(r.code, r.extended);
}

} // namespace quillon::control
