// The boundary between the device core and a device service. The core owns
// the UnifiedPOS life cycle, the event queue and the properties UnifiedPOS
// gives the control; a service talks to one device and reports input through
// a sink from any of its threads. Plain C++: a service's platform code lives
// behind this interface.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace quillon::control {

// A label as the device sent it: raw bytes (ScanData) and the decoded form.
struct Label {
  std::string raw;  // framing removed, symbology identifier kept
  std::string data; // decoded label: no identifier, check digit present
  long type = 0;    // ScanDataType
};

// Called by a service from any of its threads. Implementations never call back
// into the service from these methods, never throw, and a service never holds
// its own locks while calling them. Each answer says whether the input was
// taken: false when the device does not take input now (closed, disabled) or
// its queue is full, so a service that produces input in a loop stops there.
class IServiceSink {
public:
  virtual bool OnLabel(Label label) = 0;
  virtual void OnPowerState(long powerState) = 0;
  virtual bool OnInputError(long resultCode, long resultCodeExtended) = 0;
  virtual bool OnStatusUpdate(long status) = 0;
  virtual bool OnDirectIOEvent(long eventNumber, long data, std::wstring text) = 0;
  // Whether the control takes input now (enabled, not disabled by AutoDisable).
  virtual bool InputEnabled() = 0;

protected:
  ~IServiceSink() = default;
};

// The device entry's configuration: the registry values under its subkey.
struct ServiceConfig {
  std::wstring deviceName;
  std::wstring serviceName;                      // the subkey's default value
  std::map<std::wstring, std::uint32_t> numbers; // REG_DWORD values
  std::map<std::wstring, std::wstring> texts;    // REG_SZ values
  std::uint32_t Number(const std::wstring &name, std::uint32_t fallback) const {
    const auto it = numbers.find(name);
    return it == numbers.end() ? fallback : it->second;
  }
  std::wstring Text(const std::wstring &name, const std::wstring &fallback) const {
    const auto it = texts.find(name);
    return it == texts.end() ? fallback : it->second;
  }
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

  // The device starts or stops reading labels. Called on the application's
  // thread only, by the core, which alone decides whether the device is enabled.
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

} // namespace quillon::control
