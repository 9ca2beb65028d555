// The simulated scanner service: see simulated_scanner.cpp.
#pragma once

#include "control/service.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

namespace xml {
struct Node;
}

// Configuration values under the device entry: DemoInterval (ms, 0 off),
// PowerReporting (0, 1, 2), Statistics (0, 1), UpdateStatistics (0, 1),
// DirectIO (0, 1), Description, Model.
class SimulatedScanner final : public IScannerService {
public:
  SimulatedScanner();
  SimulatedScanner(const SimulatedScanner &) = delete;
  SimulatedScanner &operator=(const SimulatedScanner &) = delete;
  ~SimulatedScanner() override;

  long Open(const ServiceConfig &config, IServiceSink *sink) override;
  void Close() override;
  Capabilities Caps() const override;
  std::wstring ServiceDescription() const override;
  long ServiceVersion() const override;
  std::wstring DeviceDescription() const override;
  std::wstring PhysicalDeviceName() const override;
  long Enable(bool enable) override;
  long CurrentPowerState() const override;
  long CheckHealth(long level, std::wstring &text) override;
  long DirectIO(long command, long &data, std::wstring &text, bool claimed) override;
  Result RetrieveStatistics(std::wstring &buffer) override;
  Result UpdateStatistics(const std::wstring &buffer) override;
  Result ResetStatistics(const std::wstring &buffer) override;
  void LabelDelivered() override;
  bool TakeInjectedFault(Result &fault) override;

private:
  struct Injected;

  void Run(HANDLE ready);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnInject(const COPYDATASTRUCT &cds);
  void OnDemoTimer();
  void Bump(const wchar_t *name, long long by = 1);
  void LoadStore();
  void SaveStatistics();
  bool StoreAttribute(int id, const std::wstring &value);
  std::wstring Attribute(int id) const;
  long Attributes(long command, const xml::Node &doc, long &data, std::wstring &text, bool claimed);
  std::wstring Long(std::wstring text) const;
  std::wstring LongComment() const;

  IServiceSink *m_sink = nullptr;
  std::wstring m_deviceName;
  std::wstring m_description;
  std::wstring m_model;
  Capabilities m_caps;
  bool m_directIO = false;
  UINT m_demoInterval = 0;
  size_t m_nextDemo = 0;

  std::thread m_thread;
  HWND m_window = nullptr;
  std::atomic<bool> m_enabled{false};
  std::atomic<long> m_power{2001};
  std::atomic<size_t> m_longLength{0};

  mutable std::mutex m_lock; // guards the statistics and the injected fault
  std::vector<long long> m_statistics;
  long long m_storedHours = 0;
  ULONGLONG m_openedAt = 0;
  std::unique_ptr<Injected> m_fault;

  std::map<int, std::wstring> m_attributes; // used on the application's thread only
};

} // namespace quillon
