// The checker's hold on the control object: a hidden window hosting a fresh
// OPOS Scanner control for each rule, every call into it timed by a watchdog
// and counted (so that an event can tell whether it arrived inside a call),
// and the events it raises, recorded in order.
#pragma once

#include "framework/dialog.h"
#include "scanner/opos_scanner.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Ends the run early: a call did not return in time, or the user pressed Ctrl+C.
struct RunEnded {
  std::wstring why;
};

// Set by the Ctrl+C handler; the session ends the run at its next call or wait.
extern std::atomic<bool> g_checkInterrupted;

// Times one call at a time on a thread of its own. When an armed call passes
// its deadline, onExpired runs on the watchdog's thread with the call's name.
class Watchdog {
public:
  using Expired = std::function<void(const std::wstring &call, unsigned ms)>;
  explicit Watchdog(Expired onExpired);
  ~Watchdog();
  Watchdog(const Watchdog &) = delete;
  Watchdog &operator=(const Watchdog &) = delete;

  void Arm(const std::wstring &call, unsigned ms);
  void Disarm();
  bool Fired() const { return m_fired; }

private:
  void Watch();
  Expired m_onExpired;
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_armed = false;
  bool m_stop = false;
  std::atomic<bool> m_fired{false};
  std::wstring m_call;
  unsigned m_ms = 0;
  std::chrono::steady_clock::time_point m_deadline;
  std::thread m_thread;
};

struct RecordedEvent {
  DISPID dispid;           // 1 DataEvent, 2 DirectIOEvent, 3 ErrorEvent, 5 StatusUpdateEvent
  long arg;                // its first argument
  bool onAppThread;        // raised on the thread that made the control
  std::wstring duringCall; // the call in progress when it arrived, empty when none
};

class CheckSession {
private:
  class Host;
  template <class F> auto Call(const wchar_t *name, unsigned extraMs, F f) {
    Enter(name, extraMs);
    struct Leave {
      CheckSession *s;
      ~Leave() { s->LeaveCall(); }
    } leave{this};
    auto result = f();
    CheckFired();
    return result;
  }
  template <class F> void Put(const wchar_t *name, F f) {
    Call(name, 0, [&] {
      f();
      return 0;
    });
  }
  std::wstring Text(const wchar_t *name, CString (COPOSScanner::*get)()) {
    return Call(name, 0, [&] { return std::wstring(static_cast<const wchar_t *>((m_s.*get)())); });
  }
  void Enter(const wchar_t *name, unsigned extraMs);
  void LeaveCall();
  void CheckFired() const;

public:
  CheckSession(Watchdog &watchdog, unsigned callTimeoutMs);
  ~CheckSession();
  CheckSession(const CheckSession &) = delete;
  CheckSession &operator=(const CheckSession &) = delete;

  // A fresh control instance in place of the last one; false with the reason.
  bool NewControl(std::wstring &error);
  void DestroyControl();
  // Whether Ctrl+C ends the run at the next call or wait (not while the
  // device is being closed).
  void SetInterruptible(bool interruptible) { m_interruptible = interruptible; }
  // Whether the control's events could be connected.
  bool EventsConnected() const { return !m_noEvents; }

  // The control's methods and properties, each timed and counted.
  long CheckHealth(long level) {
    return Call(L"CheckHealth", 0, [&] { return m_s.CheckHealth(level); });
  }
  long ClaimDevice(long timeout) {
    return Call(L"ClaimDevice", timeout > 0 ? static_cast<unsigned>(timeout) : 0,
                [&] { return m_s.ClaimDevice(timeout); });
  }
  long ClearInput() {
    return Call(L"ClearInput", 0, [&] { return m_s.ClearInput(); });
  }
  long ClearInputProperties() {
    return Call(L"ClearInputProperties", 0, [&] { return m_s.ClearInputProperties(); });
  }
  long Close() {
    return Call(L"Close", 0, [&] { return m_s.Close(); });
  }
  long Open(const std::wstring &name) {
    return Call(L"Open", 0, [&] { return m_s.Open(name.c_str()); });
  }
  long ReleaseDevice() {
    return Call(L"ReleaseDevice", 0, [&] { return m_s.ReleaseDevice(); });
  }
  long ResetStatistics(const std::wstring &names) {
    return Call(L"ResetStatistics", 0, [&] { return m_s.ResetStatistics(names.c_str()); });
  }
  long UpdateStatistics(const std::wstring &pairs) {
    return Call(L"UpdateStatistics", 0, [&] { return m_s.UpdateStatistics(pairs.c_str()); });
  }
  long RetrieveStatistics(const std::wstring &names, std::wstring &reply);

  long GetAutoDisable() {
    return Call(L"AutoDisable", 0, [&] { return m_s.GetAutoDisable(); });
  }
  long GetCapPowerReporting() {
    return Call(L"CapPowerReporting", 0, [&] { return m_s.GetCapPowerReporting(); });
  }
  std::wstring GetCheckHealthText() { return Text(L"CheckHealthText", &COPOSScanner::GetCheckHealthText); }
  long GetClaimed() {
    return Call(L"Claimed", 0, [&] { return m_s.GetClaimed(); });
  }
  long GetDataCount() {
    return Call(L"DataCount", 0, [&] { return m_s.GetDataCount(); });
  }
  long GetDataEventEnabled() {
    return Call(L"DataEventEnabled", 0, [&] { return m_s.GetDataEventEnabled(); });
  }
  long GetDeviceEnabled() {
    return Call(L"DeviceEnabled", 0, [&] { return m_s.GetDeviceEnabled(); });
  }
  long GetDecodeData() {
    return Call(L"DecodeData", 0, [&] { return m_s.GetDecodeData(); });
  }
  long GetPowerNotify() {
    return Call(L"PowerNotify", 0, [&] { return m_s.GetPowerNotify(); });
  }
  long GetPowerState() {
    return Call(L"PowerState", 0, [&] { return m_s.GetPowerState(); });
  }
  long GetResultCode() {
    return Call(L"ResultCode", 0, [&] { return m_s.GetResultCode(); });
  }
  long GetResultCodeExtended() {
    return Call(L"ResultCodeExtended", 0, [&] { return m_s.GetResultCodeExtended(); });
  }
  long GetState() {
    return Call(L"State", 0, [&] { return m_s.GetState(); });
  }
  long GetCapStatisticsReporting() {
    return Call(L"CapStatisticsReporting", 0, [&] { return m_s.GetCapStatisticsReporting(); });
  }
  long GetCapUpdateStatistics() {
    return Call(L"CapUpdateStatistics", 0, [&] { return m_s.GetCapUpdateStatistics(); });
  }
  std::wstring GetScanData() { return Text(L"ScanData", &COPOSScanner::GetScanData); }
  std::wstring GetScanDataLabel() { return Text(L"ScanDataLabel", &COPOSScanner::GetScanDataLabel); }
  long GetScanDataType() {
    return Call(L"ScanDataType", 0, [&] { return m_s.GetScanDataType(); });
  }
  std::wstring GetDeviceDescription() { return Text(L"DeviceDescription", &COPOSScanner::GetDeviceDescription); }
  std::wstring GetServiceObjectDescription() {
    return Text(L"ServiceObjectDescription", &COPOSScanner::GetServiceObjectDescription);
  }
  std::wstring GetControlObjectDescription() {
    return Text(L"ControlObjectDescription", &COPOSScanner::GetControlObjectDescription);
  }
  long GetServiceObjectVersion() {
    return Call(L"ServiceObjectVersion", 0, [&] { return m_s.GetServiceObjectVersion(); });
  }
  long GetControlObjectVersion() {
    return Call(L"ControlObjectVersion", 0, [&] { return m_s.GetControlObjectVersion(); });
  }

  void SetAutoDisable(long v) {
    Put(L"AutoDisable", [&] { m_s.SetAutoDisable(v); });
  }
  void SetDataEventEnabled(long v) {
    Put(L"DataEventEnabled", [&] { m_s.SetDataEventEnabled(v); });
  }
  void SetDeviceEnabled(long v) {
    Put(L"DeviceEnabled", [&] { m_s.SetDeviceEnabled(v); });
  }
  void SetFreezeEvents(long v) {
    Put(L"FreezeEvents", [&] { m_s.SetFreezeEvents(v); });
  }
  void SetPowerNotify(long v) {
    Put(L"PowerNotify", [&] { m_s.SetPowerNotify(v); });
  }
  void SetDecodeData(long v) {
    Put(L"DecodeData", [&] { m_s.SetDecodeData(v); });
  }

  // Reads every property of the control once (name, then the call), for the
  // rule that reads them in each state.
  void ForEachPropertyRead(const std::function<void(const wchar_t *name, const std::function<void()> &read)> &visit);

  // Dispatches the thread's messages (and so the control's events) for ms,
  // or until done() holds; returns done() at the end.
  bool PumpUntil(const std::function<bool()> &done, unsigned ms);
  void Pump(unsigned ms) {
    PumpUntil([] { return false; }, ms);
  }

  const std::vector<RecordedEvent> &Events() const { return m_events; }
  // Every event of the session so far that arrived on another thread or
  // inside a call, described; kept across control instances.
  const std::vector<std::wstring> &Misdelivered() const { return m_misdelivered; }
  void ClearEvents() { m_events.clear(); }
  size_t DataEvents() const;
  void OnEvent(DISPID dispid, const DISPPARAMS &params);

private:
  Watchdog &m_watchdog;
  unsigned m_timeoutMs;
  Host *m_host = nullptr;
  COPOSScanner m_s;
  DWORD m_thread = GetCurrentThreadId();
  std::vector<std::wstring> m_callStack;
  std::vector<RecordedEvent> m_events;
  std::vector<std::wstring> m_misdelivered;
  bool m_noEvents = false;
  bool m_interruptible = true;
};
