// The internal boundary between the control object and a device service. The
// control owns the OPOS life cycle, the event queue and the properties that
// UnifiedPOS gives the control; a service talks to one device and reports
// input through a sink from any thread. The simulated device is one service;
// others (a serial-port scanner) plug in through CreateService.
#pragma once

#include "control/opos.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace quillon {

// A label as the device sent it: raw bytes (ScanData) and the decoded form.
struct Label {
  std::string raw;  // framing removed, symbology identifier kept
  std::string data; // decoded label: no identifier, check digit present
  long type = 0;    // ScanDataType
};

// The CheckHealth text of a device that is online or not. A device without an
// interactive test answers that level E_ILLEGAL, as it does an unknown level.
inline long HealthCheckText(long level, bool online, bool interactive, std::wstring &text) {
  switch (level) {
  case opos::CH_INTERNAL:
    text = L"Internal HCheck: Successful";
    return opos::SUCCESS;
  case opos::CH_EXTERNAL:
    text = online ? L"External HCheck: Successful" : L"External HCheck: Not Responding";
    return opos::SUCCESS;
  case opos::CH_INTERACTIVE:
    if (!interactive) return opos::E_ILLEGAL;
    text = online ? L"Interactive HCheck: Complete" : L"Interactive HCheck: Not Responding";
    return opos::SUCCESS;
  default:
    return opos::E_ILLEGAL;
  }
}

// Called by a service from any of its threads. Implementations never call back
// into the service from these methods, and a service never holds its own locks
// while calling them.
class IServiceSink {
public:
  // Returns false when the label was not taken (device disabled, queue full).
  virtual bool OnLabel(Label label) = 0;
  virtual void OnPowerState(long powerState) = 0;
  virtual void OnInputError(long resultCode, long resultCodeExtended) = 0;
  virtual void OnStatusUpdate(long status) = 0;
  virtual void OnDirectIOEvent(long eventNumber, long data, std::wstring text) = 0;
  // Whether the control takes input now (enabled, not disabled by AutoDisable).
  virtual bool InputEnabled() = 0;

protected:
  ~IServiceSink() = default;
};

// The device entry's configuration: the registry values under its subkey.
struct ServiceConfig {
  std::wstring deviceName;
  std::wstring serviceName;                   // the subkey's default value
  std::map<std::wstring, DWORD> numbers;      // REG_DWORD values
  std::map<std::wstring, std::wstring> texts; // REG_SZ values
  DWORD Number(const std::wstring &name, DWORD fallback) const;
  std::wstring Text(const std::wstring &name, const std::wstring &fallback) const;
};

struct Capabilities {
  long powerReporting = 0;
  bool statisticsReporting = false;
  bool updateStatistics = false;
};

struct Result {
  long code = 0;
  long extended = 0;
};

class IScannerService {
public:
  virtual ~IScannerService() = default;

  // Opens the device; the sink stays valid until Close returns.
  virtual long Open(const ServiceConfig &config, IServiceSink *sink) = 0;
  // Stops every thread and closes every handle; no sink call after it returns.
  virtual void Close() = 0;

  virtual Capabilities Caps() const = 0;
  virtual std::wstring ServiceDescription() const = 0;
  virtual long ServiceVersion() const = 0;
  virtual std::wstring DeviceDescription() const = 0;
  virtual std::wstring PhysicalDeviceName() const = 0;

  // The device starts or stops reading labels.
  virtual long Enable(bool enable) = 0;
  // The power state the device is in now (online, off, offline).
  virtual long CurrentPowerState() const = 0;
  virtual long CheckHealth(long level, std::wstring &text) = 0;
  virtual long DirectIO(long command, long &data, std::wstring &text, bool claimed) = 0;
  virtual Result RetrieveStatistics(std::wstring &buffer) = 0;
  virtual Result UpdateStatistics(const std::wstring &buffer) = 0;
  virtual Result ResetStatistics(const std::wstring &buffer) = 0;
  // A DataEvent carrying a label of this device was delivered to the application.
  virtual void LabelDelivered() = 0;
  // A failure queued by fault injection for the next method call, if any.
  virtual bool TakeInjectedFault(Result &fault) = 0;
};

// The service named by a device entry's default value; nullptr when unknown.
std::unique_ptr<IScannerService> CreateService(const std::wstring &serviceName);

// Service names this build offers.
inline constexpr wchar_t kSimulatorService[] = L"Quillon.SimulatedScanner";

} // namespace quillon
