#include "control/services/statistics.h"

#include "control/services/parsers/xml.h"

#include <algorithm>

namespace quillon::control::stats {
namespace {

constexpr StatisticName kStatistics[] = {
    {L"HoursPoweredCount", false}, {L"CommunicationErrorCount", false},
    {L"GoodScanCount", false},     {L"DemoLabelCount", true},
    {L"InjectedLabelCount", true}, {L"NotOnFileCount", true},
    {L"ScannerResetCount", true},  {L"BeepCount", true},
};
constexpr int kHoursPowered = 0;
constexpr std::uint64_t kMsPerHour = 3600000;

} // namespace

std::span<const StatisticName> SimulatedTable() { return kStatistics; }

int IndexOf(std::wstring_view name) {
  for (size_t i = 0; i < std::size(kStatistics); ++i)
    if (name == kStatistics[i].name) return static_cast<int>(i);
  return -1;
}

Counters::Counters(const IClock &clock) : m_clock(clock), m_values(std::size(kStatistics), 0) {}

long long Counters::HoursNow() const {
  return m_hoursBase + static_cast<long long>((m_clock.NowMs() - m_sinceMs) / kMsPerHour);
}

void Counters::Load(const std::map<std::wstring, long long> &stored) {
  std::lock_guard lock(m_lock);
  for (size_t i = 0; i < std::size(kStatistics); ++i) {
    const auto it = stored.find(kStatistics[i].name);
    m_values[i] = it == stored.end() ? 0 : it->second;
  }
  m_hoursBase = m_values[kHoursPowered];
  m_sinceMs = m_clock.NowMs();
}

std::vector<long long> Counters::Values() const {
  std::lock_guard lock(m_lock);
  std::vector<long long> values = m_values;
  values[kHoursPowered] = HoursNow();
  return values;
}

std::map<std::wstring, long long> Counters::Stored() const {
  const std::vector<long long> values = Values();
  std::map<std::wstring, long long> out;
  for (size_t i = 0; i < values.size(); ++i)
    out[kStatistics[i].name] = values[i];
  return out;
}

void Counters::Bump(int index, long long by) {
  if (index < 0 || static_cast<size_t>(index) >= m_values.size() || index == kHoursPowered) return;
  std::lock_guard lock(m_lock);
  m_values[static_cast<size_t>(index)] += by;
}

void Counters::Assign(const std::vector<Assignment> &assignments) {
  std::lock_guard lock(m_lock);
  for (const Assignment &a : assignments) {
    for (const int i : a.targets) {
      if (i < 0 || static_cast<size_t>(i) >= m_values.size()) continue;
      m_values[static_cast<size_t>(i)] = a.value;
      if (i == kHoursPowered) {
        m_hoursBase = a.value;
        m_sinceMs = m_clock.NowMs();
      }
    }
  }
}

void Counters::Reset(const std::vector<int> &targets) { Assign({{targets, 0}}); }

std::wstring Report(const Equipment &equipment, const std::vector<Requested> &requested,
                    const std::vector<long long> &values, const std::wstring &longText) {
  std::wstring x = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                   L"<UPOSStat version=\"1.14.1\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                   L"xmlns=\"http://www.nrf-arts.org/IXRetail/namespace/\" "
                   L"xsi:schemaLocation=\"http://www.nrf-arts.org/IXRetail/namespace/ UPOSStat.xsd\">\r\n"
                   L" <Equipment>\r\n"
                   L"  <UnifiedPOSVersion>1.14.1</UnifiedPOSVersion>\r\n"
                   L"  <DeviceCategory UPOS=\"Scanner\"/>\r\n"
                   L"  <ManufacturerName>Quillon</ManufacturerName>\r\n"
                   L"  <ModelName>" +
                   xml::Escape(equipment.model) + L"</ModelName>\r\n  <SerialNumber>" +
                   xml::Escape(equipment.serialNumber) + L"</SerialNumber>\r\n  <FirmwareRevision>" +
                   xml::Escape(equipment.firmware) +
                   L"</FirmwareRevision>\r\n"
                   L"  <Interface>Simulated</Interface>\r\n"
                   L"  <InstallationDate>2024-01-15</InstallationDate>\r\n"
                   L" </Equipment>\r\n <Event>\r\n";
  for (const Requested &r : requested) {
    const bool known = r.index >= 0 && static_cast<size_t>(r.index) < values.size();
    const wchar_t *tag = known && kStatistics[r.index].manufacturer ? L"ManufacturerSpecific" : L"Parameter";
    x += L"  <";
    x += tag;
    x += L">\r\n   <Name>" + xml::Escape(r.name) + L"</Name>\r\n   <Value>";
    if (known) x += std::to_wstring(values[static_cast<size_t>(r.index)]);
    x += L"</Value>\r\n  </";
    x += tag;
    x += L">\r\n";
  }
  if (!longText.empty())
    x += L"  <ManufacturerSpecific>\r\n   <Name>LongText</Name>\r\n   <Value>" + xml::Escape(longText) +
         L"</Value>\r\n  </ManufacturerSpecific>\r\n";
  x += L" </Event>\r\n</UPOSStat>\r\n";
  return x;
}

} // namespace quillon::control::stats
