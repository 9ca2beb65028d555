// The simulated device's statistics: a counter per statistic of its table,
// shared between the device's thread (which counts labels) and the
// application's (which reads, updates and resets them), and HoursPoweredCount
// kept as the hours stored plus the hours since the device was opened.
#pragma once

#include "control/core/platform.h"
#include "control/services/parsers/statistics_request.h"

#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace quillon::control::stats {

// The statistics of the simulated device; HoursPoweredCount is the first.
std::span<const StatisticName> SimulatedTable();
int IndexOf(std::wstring_view name); // in SimulatedTable, -1 when unknown

class Counters {
public:
  explicit Counters(const IClock &clock);

  // Starts from stored values (by name; missing ones are zero), counting the
  // hours powered from now.
  void Load(const std::map<std::wstring, long long> &stored);
  // Every statistic by name, HoursPoweredCount as of now: what to store.
  std::map<std::wstring, long long> Stored() const;
  // The values of every statistic, in table order, HoursPoweredCount as of now.
  std::vector<long long> Values() const;

  void Bump(int index, long long by = 1);
  void Assign(const std::vector<Assignment> &assignments);
  void Reset(const std::vector<int> &targets);

private:
  long long HoursNow() const; // with m_lock held

  const IClock &m_clock;
  mutable std::mutex m_lock;
  std::vector<long long> m_values;
  long long m_hoursBase = 0; // HoursPoweredCount when m_since was taken
  std::uint64_t m_sinceMs = 0;
};

// What a statistics report says about the device.
struct Equipment {
  std::wstring model;
  std::wstring serialNumber;
  std::wstring firmware;
};

// The reply to a retrieval: the UPOSStat document with the requested
// statistics (unknown ones with an empty value) and, if given, one more
// manufacturer's entry named LongText.
std::wstring Report(const Equipment &equipment, const std::vector<Requested> &requested,
                    const std::vector<long long> &values, const std::wstring &longText);

} // namespace quillon::control::stats
