// A scanner on a serial line (RS-232 or a USB virtual COM port): see
// serial_scanner.cpp.
#pragma once

#include "control/aim.h"
#include "control/service.h"

#include <atomic>
#include <string>
#include <thread>

namespace quillon {

inline constexpr wchar_t kSerialService[] = L"Quillon.SerialScanner";

// The line settings read from a device entry: Port (COMn), BaudRate, DataBits
// (5 to 8), Parity (N, E, O, M, S), StopBits (1, 1.5, 2), Suffix (CR, LF,
// CRLF), AimIds (0, 1), LabelTimeout (ms a label may stay without its
// suffix), PowerReporting (0, 1, 2), Description.
struct SerialSettings {
  std::wstring port; // "COM5"
  DWORD baudRate = 9600;
  BYTE dataBits = 8;
  BYTE parity = NOPARITY; // NOPARITY, ODDPARITY, ...
  BYTE stopBits = ONESTOPBIT;
  aim::Suffix suffix = aim::Suffix::CR;
  bool aimIds = false;
  DWORD labelTimeout = 500;
  long powerReporting = 2;
  std::wstring description;
};

// Reads the settings; on a bad value returns false and names it in `problem`.
bool ParseSerialSettings(const ServiceConfig &config, SerialSettings &settings, std::wstring &problem);

// ErrorEvent codes of this device: line errors come as E_FAILURE with the
// line's error bits (CE_FRAME, CE_OVERRUN, CE_RXPARITY, CE_RXOVER, CE_BREAK)
// as ResultCodeExtended; a label cut short (no suffix within LabelTimeout, or
// the port lost in the middle of it) as E_TIMEOUT with the number of bytes
// dropped; a run of bytes too long to be a label as E_FAILURE, CE_RXOVER.

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
  bool Serve(HANDLE port, aim::Framer &framer);
  void Deliver(aim::Framer::Output out);
  void SetPower(long power);

  IServiceSink *m_sink = nullptr;
  SerialSettings m_settings;
  std::thread m_thread;
  HANDLE m_stop = nullptr;
  std::atomic<bool> m_enabled{false};
  std::atomic<long> m_power{2001};
};

} // namespace quillon
