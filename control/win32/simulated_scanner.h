// The simulated scanner service's Windows shell: a device thread with a
// message-only window that takes injected input from other processes
// (control/inject/protocol.h) and runs the demo feed on a timer, the registry
// as its store, and SimulatedDevice (control/services/simulated_device.h) for
// everything the device does.
#pragma once

#include "control/core/service.h"
#include "control/services/simulated_device.h"
#include "control/win32/tick_clock.h"

#include <windows.h>

#include <memory>
#include <thread>

namespace quillon::control {

inline constexpr wchar_t kSimulatorService[] = L"Quillon.SimulatedScanner";

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
  class RegistryStore;

  void Run(HANDLE ready);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  TickClock m_clock;
  std::unique_ptr<RegistryStore> m_store;
  std::unique_ptr<SimulatedDevice> m_device;
  std::thread m_thread;
  HWND m_window = nullptr;
};

} // namespace quillon::control
