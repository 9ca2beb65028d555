// What the simulated scanner does, apart from the thread, window and registry
// it does it with (control/win32/simulated_scanner.h): the demo feed, the injection
// commands, its statistics and its attributes with the Direct IO commands
// over them, health checks and descriptions.
//
// Threads: injection and the demo feed run on the device's thread; everything
// else on the application's. What both use is atomic or under a lock.
#pragma once

#include "control/core/platform.h"
#include "control/core/service.h"
#include "control/services/attributes.h"
#include "control/services/statistics.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quillon::control {

namespace xml {
struct Node;
}

// Where the simulated device keeps statistics and stored attributes between runs.
class ISimulatedStore {
public:
  virtual std::map<std::wstring, long long> LoadStatistics() = 0;
  virtual void SaveStatistics(const std::map<std::wstring, long long> &values) = 0;
  virtual std::map<int, std::wstring> LoadAttributes() = 0;
  virtual bool StoreAttribute(int id, const std::wstring &value) = 0;

protected:
  ~ISimulatedStore() = default;
};

// Configuration values under the device entry: DemoInterval (ms, 0 off),
// PowerReporting (0, 1, 2), Statistics (0, 1), UpdateStatistics (0, 1),
// DirectIO (0, 1), Description, Model.
struct SimulatedSettings {
  std::wstring deviceName;
  std::uint32_t demoInterval = 0;
  Capabilities caps;
  bool directIO = false;
  std::wstring description;
  std::wstring model;
  static SimulatedSettings From(const ServiceConfig &config);
};

class SimulatedDevice {
public:
  // The most labels one burst and the most events one flood may ask for.
  static constexpr std::int32_t kMaxRepeat = 1000000;

  SimulatedDevice(const SimulatedSettings &settings, IServiceSink &sink, const IClock &clock, ISimulatedStore &store);
  SimulatedDevice(const SimulatedDevice &) = delete;
  SimulatedDevice &operator=(const SimulatedDevice &) = delete;

  const SimulatedSettings &Settings() const { return m_settings; }

  // ---- the device's thread ----
  // Carries out an injection command; the reply its sender gets (see inject_protocol.h).
  long long Inject(std::uint32_t command, const void *data, std::size_t size);
  // One label of the demo feed.
  void DemoTick();
  // Ends any injection loop at once; no more input after it.
  void Stop() { m_stopping = true; }

  // ---- the application's thread ----
  void SetEnabled(bool enabled) { m_enabled = enabled; }
  bool Enabled() const { return m_enabled; }
  long Power() const { return m_power; }
  long CheckHealth(long level, std::wstring &text) const;
  long DirectIO(long command, long &data, std::wstring &text, bool claimed);
  Result RetrieveStatistics(std::wstring &buffer) const;
  Result UpdateStatistics(const std::wstring &buffer);
  Result ResetStatistics(const std::wstring &buffer);
  void LabelDelivered();
  bool TakeInjectedFault(Result &fault);
  // The statistics as they are now into the store (on close and after changes).
  void SaveStatistics();
  // A description padded as the LongStrings injection asks.
  std::wstring Long(std::wstring text) const;

private:
  bool TakesInput() const;
  void Bump(const wchar_t *name, long long by = 1);
  long Attributes(long command, const xml::Node &doc, long &data, std::wstring &text, bool claimed);
  std::wstring LongComment() const;

  const SimulatedSettings m_settings;
  IServiceSink &m_sink;
  ISimulatedStore &m_store;
  std::atomic<bool> m_enabled{false};
  std::atomic<bool> m_stopping{false};
  std::atomic<long> m_power;
  std::atomic<std::size_t> m_longLength{0};
  std::size_t m_nextDemo = 0; // the device's thread only
  stats::Counters m_statistics;
  attributes::Values m_attributes; // the application's thread only

  std::mutex m_faultLock;
  std::optional<Result> m_fault;
};

} // namespace quillon::control
