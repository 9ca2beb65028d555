// Test doubles for the device core's platform and service: a directory of
// fake devices, a claim another holder can have, a wake-up that counts (and
// can fail), an event target that records, and a clock the test moves. One
// Rig puts them together around a Device; Pump plays the message loop.
#pragma once

#include "control/core/device.h"
#include "control/core/opos.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon::control::fake {

// What the fake service was told and what it does; the test reads and sets it.
struct ServiceState {
  IServiceSink *sink = nullptr; // while open
  bool open = false;
  bool enabled = false;
  int enableCalls = 0;
  int delivered = 0; // LabelDelivered calls
  long power = opos::PS_ONLINE;
  long openResult = opos::SUCCESS;
  std::optional<Result> fault;
  // Runs inside CurrentPowerState, as another thread's report would arrive.
  std::function<void()> duringPowerRead;
};

// Devices: "Full" (advanced power reporting, statistics), "Plain" (neither),
// "Standard" (standard power reporting), "BadService" (names no service).
class Directory final : public IDeviceDirectory {
public:
  bool Find(const std::wstring &deviceName, ServiceConfig &config) override;
  std::unique_ptr<IScannerService> Create(const std::wstring &serviceName) override;
  ServiceState state;
};

class Claim final : public IClaim {
public:
  long Acquire(const std::wstring &deviceName, long timeoutMs) override;
  void Release() override { held = false; }
  bool HeldElsewhere(const std::wstring &) override { return otherHolder; }
  bool held = false;
  bool otherHolder = false;
  int acquires = 0;
};

class Wakeup final : public IWakeup {
public:
  bool Prepare() override { return !failPrepare; }
  bool Post() override {
    ++posts;
    if (fail) return false;
    ++pending;
    return true;
  }
  int posts = 0;
  int pending = 0; // wake-ups the message loop has not handled
  bool fail = false;
  bool failPrepare = false;
};

struct Event {
  EventKind kind;
  std::vector<long> args;
  std::string scanData; // ScanData read inside the handler (BinaryConversion none)
  long scanDataType = 0;
  long dataCount = 0;
  bool dataEventEnabled = true;
};

class Target final : public IEventTarget {
public:
  void DataEvent(long status) override;
  void ErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long &errorResponse) override;
  void StatusUpdateEvent(long status) override;
  void DirectIOEvent(long eventNumber, long &data, std::wstring &text) override;

  Device *device = nullptr;
  std::vector<Event> events;
  long errorResponse = opos::ER_CLEAR;
  bool rearm = false; // sets DataEventEnabled again in the handler
  std::function<void(const Event &)> onEvent;

private:
  void Record(EventKind kind, std::vector<long> args);
};

class Clock final : public IClock {
public:
  std::uint64_t NowMs() const override { return now; }
  std::uint64_t now = 1000;
};

struct Rig {
  Rig();
  Directory directory;
  Claim claim;
  Wakeup wakeup;
  Target target;
  Device device;

  // Open, claim and enable, with data events on.
  void Ready(const wchar_t *name = L"Full", bool decode = true);
  // Handles the wake-ups posted, as the message loop would; returns how many.
  int Pump();
  // A label from the service's side; whether it was taken.
  bool Scan(const std::string &raw, long type = 110);
  long GetLong(Prop p) { return device.Get(p).number; }
  bool GetBool(Prop p) { return device.Get(p).flag; }
  std::vector<std::string> DataSeen() const;
};

} // namespace quillon::control::fake
