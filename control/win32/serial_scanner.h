// A scanner on a serial line (RS-232 or a USB virtual COM port), the Windows
// shell of the serial service: one reader thread per open device, which hands
// what it reads to SerialInput (control/services/serial_input.h) and watches
// the port; see serial_scanner.cpp.
#pragma once

#include "comkit/handles.h"
#include "control/core/service.h"
#include "control/services/parsers/serial_settings.h"
#include "control/services/serial_input.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace quillon::control {

inline constexpr wchar_t kSerialService[] = L"Quillon.SerialScanner";

class SerialScanner final : public IScannerService {
public:
  SerialScanner() = default;
  SerialScanner(const SerialScanner &) = delete;
  SerialScanner &operator=(const SerialScanner &) = delete;
  ~SerialScanner() override;

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
  void LabelDelivered() override {}
  bool TakeInjectedFault(Result &) override { return false; }

private:
  enum class PortResult { Ok, Missing, BadSettings };
  PortResult OpenPort(HANDLE &port) const;
  void Run(HANDLE port);
  // Reads until the port fails or Close asks to stop; false when stopping.
  bool Serve(HANDLE port, SerialInput &input);
  void SetPower(long power);

  IServiceSink *m_sink = nullptr;
  SerialSettings m_settings;
  std::thread m_thread;
  ScopedHandle m_stop;
  std::atomic<bool> m_enabled{false};
  std::atomic<long> m_power{2001};
};

} // namespace quillon::control
