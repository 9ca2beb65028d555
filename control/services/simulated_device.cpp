// The simulated device's input (demo feed and injection), statistics, health
// and descriptions. Direct IO is in simulated_direct_io.cpp.
#include "control/services/simulated_device.h"

#include "control/core/opos.h"
#include "control/services/demo_labels.h"
#include "control/services/health_check.h"
#include "control/services/parsers/injection.h"

#include <algorithm>
#include <cstdio>

namespace quillon::control {

SimulatedSettings SimulatedSettings::From(const ServiceConfig &config) {
  SimulatedSettings s;
  s.deviceName = config.deviceName;
  s.demoInterval = config.Number(L"DemoInterval", 0);
  s.caps.powerReporting = static_cast<long>(std::min<std::uint32_t>(config.Number(L"PowerReporting", 0), 2));
  s.caps.statisticsReporting = config.Number(L"Statistics", 0) != 0;
  s.caps.updateStatistics = s.caps.statisticsReporting && config.Number(L"UpdateStatistics", 1) != 0;
  s.directIO = config.Number(L"DirectIO", 0) != 0;
  s.description = config.Text(L"Description", L"Quillon simulated scanner");
  s.model = config.Text(L"Model", L"QS-1000");
  return s;
}

SimulatedDevice::SimulatedDevice(const SimulatedSettings &settings, IServiceSink &sink, const IClock &clock,
                                 ISimulatedStore &store)
    : m_settings(settings), m_sink(sink), m_store(store), m_power(opos::PS_ONLINE), m_statistics(clock) {
  m_statistics.Load(m_store.LoadStatistics());
  m_attributes.Reset(m_store.LoadAttributes());
}

bool SimulatedDevice::TakesInput() const { return !m_stopping && m_enabled && m_power == opos::PS_ONLINE; }

void SimulatedDevice::Bump(const wchar_t *name, long long by) { m_statistics.Bump(stats::IndexOf(name), by); }

// ---- input ------------------------------------------------------------------------

void SimulatedDevice::DemoTick() {
  if (!TakesInput()) return;
  const auto labels = DemoLabels();
  const DemoLabel &d = labels[m_nextDemo++ % labels.size()];
  if (m_sink.OnLabel(Label{d.data, d.data, d.type})) Bump(L"DemoLabelCount");
}

long long SimulatedDevice::Inject(std::uint32_t command, const void *data, std::size_t size) {
  if (m_stopping) return 0;
  inject::Numbers n{};
  const bool numbers = injection::ReadNumbers(data, size, n);
  switch (command) {
  case inject::Labels: {
    long long taken = 0;
    injection::LabelReader reader(data, size);
    Label label;
    while (reader.Next(label) && TakesInput() && m_sink.OnLabel(std::move(label)))
      ++taken;
    Bump(L"InjectedLabelCount", taken);
    return taken;
  }
  case inject::Burst: {
    // Numbered labels until the count, or until the device takes no more.
    if (!numbers || n.value < 0 || n.value > kMaxRepeat) return 0;
    long long taken = 0;
    for (std::int32_t i = 0; i < n.value && TakesInput(); ++i) {
      char text[24];
      snprintf(text, sizeof text, "QB%08lld", static_cast<long long>(n.first) + i);
      if (!m_sink.OnLabel(Label{text, text, n.extra ? n.extra : opos::SCAN_SDT_Code128})) break;
      ++taken;
    }
    Bump(L"InjectedLabelCount", taken);
    return taken;
  }
  case inject::Power:
    if (!numbers || n.value < opos::PS_ONLINE || n.value > opos::PS_OFF_OFFLINE) return 0;
    m_power = n.value;
    m_sink.OnPowerState(n.value);
    return 1;
  case inject::Error:
    if (!numbers || !m_enabled) return 0;
    m_sink.OnInputError(n.value, n.extra);
    return 1;
  case inject::FailNext: {
    if (!numbers) return 0;
    std::lock_guard lock(m_faultLock);
    m_fault = Result{n.value, n.extra};
    return 1;
  }
  case inject::LongStrings:
    if (!numbers || n.value < 0 || n.value > 16 * 1024 * 1024) return 0;
    m_longLength = static_cast<std::size_t>(n.value);
    return 1;
  case inject::Flood: {
    // Status updates until the count, or until the device takes no more.
    if (!numbers || n.value < 0 || n.value > kMaxRepeat) return 0;
    std::int32_t sent = 0;
    while (sent < n.value && !m_stopping && m_sink.OnStatusUpdate(n.extra))
      ++sent;
    return sent == n.value ? 1 : 0;
  }
  case inject::Query:
    return m_sink.InputEnabled() ? inject::QueryOpen | inject::QueryEnabled : inject::QueryOpen;
  }
  return 0;
}

// ---- health, faults, descriptions ----------------------------------------------------

long SimulatedDevice::CheckHealth(long level, std::wstring &text) const {
  const long rc = HealthCheckText(level, m_power == opos::PS_ONLINE, true, text);
  if (rc == opos::SUCCESS) text = Long(text);
  return rc;
}

bool SimulatedDevice::TakeInjectedFault(Result &fault) {
  std::lock_guard lock(m_faultLock);
  if (!m_fault) return false;
  fault = *m_fault;
  m_fault.reset();
  return true;
}

std::wstring SimulatedDevice::Long(std::wstring text) const {
  const std::size_t want = m_longLength;
  if (want > text.size()) {
    text += L' ';
    while (text.size() < want)
      text += static_cast<wchar_t>(L'A' + text.size() % 26);
  }
  return text;
}

std::wstring SimulatedDevice::LongComment() const {
  if (!m_longLength) return {};
  return L"<!--" + Long(L"") + L"-->";
}

// ---- statistics -----------------------------------------------------------------

void SimulatedDevice::LabelDelivered() { Bump(L"GoodScanCount"); }

Result SimulatedDevice::RetrieveStatistics(std::wstring &buffer) const {
  const std::vector<stats::Requested> requested =
      stats::ResolveNames(stats::SimulatedTable(), buffer, true, stats::IndexOf(L"GoodScanCount"));
  const stats::Equipment equipment{m_settings.model, m_attributes.Get(attributes::kSerialNumber),
                                   m_attributes.Get(attributes::kFirmware)};
  buffer = stats::Report(equipment, requested, m_statistics.Values(), m_longLength ? Long(L"") : std::wstring());
  return {};
}

Result SimulatedDevice::UpdateStatistics(const std::wstring &buffer) {
  std::vector<stats::Assignment> assignments;
  const Result r = stats::ParseUpdate(stats::SimulatedTable(), buffer, assignments);
  if (r.code != opos::SUCCESS) return r;
  m_statistics.Assign(assignments);
  SaveStatistics();
  return {};
}

Result SimulatedDevice::ResetStatistics(const std::wstring &buffer) {
  std::vector<int> targets;
  const Result r = stats::ParseReset(stats::SimulatedTable(), buffer, targets);
  if (r.code != opos::SUCCESS) return r;
  m_statistics.Reset(targets);
  SaveStatistics();
  return {};
}

void SimulatedDevice::SaveStatistics() {
  if (m_settings.caps.statisticsReporting) m_store.SaveStatistics(m_statistics.Stored());
}

} // namespace quillon::control
