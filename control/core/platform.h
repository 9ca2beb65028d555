// What the device core asks of the platform it runs on: small interfaces the
// Win32 side implements (and tests fake). The core itself starts no thread and
// reads no clock; everything it does happens on the application's thread,
// except the service sink, which any thread may call.
#pragma once

#include "control/core/service.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillon::control {

// An exclusive claim on a device name, shared with every other claimant on
// the machine (other control objects, other processes).
class IClaim {
public:
  // Waits up to timeoutMs (-1: for ever) for the claim. Returns an OPOS code:
  // SUCCESS, E_TIMEOUT, or E_FAILURE when the system refuses. The wait may
  // run the application's messages, and so call back into the core.
  virtual long Acquire(const std::wstring &deviceName, long timeoutMs) = 0;
  // Gives the claim up; nothing when it is not held.
  virtual void Release() = 0;
  // Whether some other claimant holds the claim now. Asking takes nothing.
  virtual bool HeldElsewhere(const std::wstring &deviceName) = 0;

protected:
  ~IClaim() = default;
};

// Wakes the application's thread, which then calls Device::Deliver. Prepare
// runs on that thread as Open begins (nothing can post before it); false
// when the wake-up cannot be made, and Open fails. Post is called from any
// thread; false when the wake-up could not be sent (the core asks again at
// its next chance).
class IWakeup {
public:
  virtual bool Prepare() = 0;
  virtual bool Post() = 0;

protected:
  ~IWakeup() = default;
};

// The installed devices: a device name's entry and the service it names.
class IDeviceDirectory {
public:
  // The entry of the device; false when there is none.
  virtual bool Find(const std::wstring &deviceName, ServiceConfig &config) = 0;
  // The service named by an entry; nullptr when this build has none by that name.
  virtual std::unique_ptr<IScannerService> Create(const std::wstring &serviceName) = 0;

protected:
  ~IDeviceDirectory() = default;
};

// The application's event handlers, called on the application's thread and
// never from inside one of its calls into the control.
class IEventTarget {
public:
  virtual void DataEvent(long status) = 0;
  virtual void ErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long &errorResponse) = 0;
  virtual void StatusUpdateEvent(long status) = 0;
  virtual void DirectIOEvent(long eventNumber, long &data, std::wstring &text) = 0;

protected:
  ~IEventTarget() = default;
};

// Milliseconds from some fixed point, never going back.
class IClock {
public:
  virtual std::uint64_t NowMs() const = 0;

protected:
  ~IClock() = default;
};

} // namespace quillon::control
