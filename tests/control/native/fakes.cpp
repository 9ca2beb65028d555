#include "fakes.h"

#include <utility>

namespace quillon::control::fake {
namespace {

class Service final : public IScannerService {
public:
  explicit Service(ServiceState &state) : m_state(state) {}
  long Open(const ServiceConfig &config, IServiceSink *sink) override {
    m_caps.powerReporting = static_cast<long>(config.Number(L"PowerReporting", 0));
    m_caps.statisticsReporting = m_caps.updateStatistics = config.Number(L"Statistics", 0) != 0;
    if (m_state.openResult != opos::SUCCESS) return m_state.openResult;
    m_state.sink = sink;
    m_state.open = true;
    return opos::SUCCESS;
  }
  void Close() override {
    m_state.sink = nullptr;
    m_state.open = false;
    m_state.enabled = false;
  }
  Capabilities Caps() const override { return m_caps; }
  std::wstring ServiceDescription() const override { return L"fake service"; }
  long ServiceVersion() const override { return 1014001; }
  std::wstring DeviceDescription() const override { return L"fake device"; }
  std::wstring PhysicalDeviceName() const override { return L"fake"; }
  long Enable(bool enable) override {
    ++m_state.enableCalls;
    m_state.enabled = enable;
    return opos::SUCCESS;
  }
  long CurrentPowerState() const override {
    const long power = m_state.power;
    if (m_state.duringPowerRead) std::exchange(m_state.duringPowerRead, nullptr)();
    return power;
  }
  long CheckHealth(long level, std::wstring &text) override {
    text = L"health " + std::to_wstring(level);
    return opos::SUCCESS;
  }
  long DirectIO(long command, long &data, std::wstring &text, bool claimed) override {
    if (command != 1) return opos::E_ILLEGAL;
    data = claimed ? 2 : 1;
    text = L"reply";
    return opos::SUCCESS;
  }
  Result RetrieveStatistics(std::wstring &buffer) override {
    buffer = L"<UPOSStat/>";
    return {};
  }
  Result UpdateStatistics(const std::wstring &buffer) override {
    return buffer == L"bad" ? Result{opos::E_EXTENDED, opos::EX_STATISTICS_ERROR} : Result{};
  }
  Result ResetStatistics(const std::wstring &buffer) override { return UpdateStatistics(buffer); }
  void LabelDelivered() override { ++m_state.delivered; }
  bool TakeInjectedFault(Result &fault) override {
    if (!m_state.fault) return false;
    fault = *std::exchange(m_state.fault, std::nullopt);
    return true;
  }

private:
  ServiceState &m_state;
  Capabilities m_caps;
};

} // namespace

bool Directory::Find(const std::wstring &deviceName, ServiceConfig &config) {
  struct Entry {
    const wchar_t *name;
    std::uint32_t power, statistics;
  } const entries[] = {{L"Full", 2, 1}, {L"Plain", 0, 0}, {L"Standard", 1, 0}, {L"BadService", 0, 0}};
  for (const Entry &e : entries) {
    if (deviceName != e.name) continue;
    config.deviceName = deviceName;
    config.serviceName = deviceName == L"BadService" ? L"No.Such.Service" : L"Fake";
    config.numbers[L"PowerReporting"] = e.power;
    config.numbers[L"Statistics"] = e.statistics;
    return true;
  }
  return false;
}

std::unique_ptr<IScannerService> Directory::Create(const std::wstring &serviceName) {
  if (serviceName != L"Fake") return nullptr;
  return std::make_unique<Service>(state);
}

long Claim::Acquire(const std::wstring &, long) {
  ++acquires;
  if (otherHolder) return opos::E_TIMEOUT;
  held = true;
  return opos::SUCCESS;
}

void Target::Record(EventKind kind, std::vector<long> args) {
  Event e{kind, std::move(args)};
  if (device) {
    for (const wchar_t c : device->Get(Prop::ScanData).text)
      e.scanData += static_cast<char>(c);
    e.scanDataType = device->Get(Prop::ScanDataType).number;
    e.dataCount = device->Get(Prop::DataCount).number;
    e.dataEventEnabled = device->Get(Prop::DataEventEnabled).flag;
  }
  events.push_back(e);
  if (onEvent) onEvent(e);
  if (rearm && device && (kind == EventKind::Data || kind == EventKind::Error)) device->Put(Prop::DataEventEnabled, 1);
}

void Target::DataEvent(long status) { Record(EventKind::Data, {status}); }
void Target::ErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long &response) {
  response = errorResponse;
  Record(EventKind::Error, {resultCode, resultCodeExtended, errorLocus});
}
void Target::StatusUpdateEvent(long status) { Record(EventKind::Status, {status}); }
void Target::DirectIOEvent(long eventNumber, long &data, std::wstring &) {
  Record(EventKind::DirectIO, {eventNumber, data});
}

Rig::Rig() : device({directory, claim, wakeup, target}) { target.device = &device; }

void Rig::Ready(const wchar_t *name, bool decode) {
  device.Open(name);
  device.ClaimDevice(0);
  device.Put(Prop::DeviceEnabled, 1);
  device.Put(Prop::DecodeData, decode ? 1 : 0);
  device.Put(Prop::DataEventEnabled, 1);
}

int Rig::Pump() {
  int handled = 0;
  while (wakeup.pending > 0) {
    wakeup.pending = 0;
    ++handled;
    device.Deliver();
  }
  return handled;
}

bool Rig::Scan(const std::string &raw, long type) {
  return directory.state.sink && directory.state.sink->OnLabel(Label{raw, raw, type});
}

std::vector<std::string> Rig::DataSeen() const {
  std::vector<std::string> out;
  for (const Event &e : target.events)
    if (e.kind == EventKind::Data) out.push_back(e.scanData);
  return out;
}

} // namespace quillon::control::fake
