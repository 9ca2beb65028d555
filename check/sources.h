// Where a check gets what it cannot make itself: labels (the simulated
// device's injector, a person, or none), a second process holding the claim,
// and a quiet simulated device (its own sample labels off for the run).
#pragma once

#include "check/rules.h"
#include "comkit/handles.h"

#include <windows.h>

#include <string>

// Feeds labels through the injection window of one of this project's
// simulated devices.
class FeedLabels : public LabelSource {
public:
  explicit FeedLabels(std::wstring device) : m_device(std::move(device)) {}
  Fed Deliver(int number, int total, std::wstring &why) override;
  unsigned WaitMs() const override { return 2000; }
  bool Person() const override { return false; }

private:
  std::wstring m_device;
};

// Asks the person at the scanner: "Scan a barcode now (2 of 5)".
class PromptForLabels : public LabelSource {
public:
  explicit PromptForLabels(unsigned waitMs) : m_waitMs(waitMs) {}
  Fed Deliver(int number, int total, std::wstring &why) override;
  unsigned WaitMs() const override { return m_waitMs; }
  bool Person() const override { return true; }

private:
  unsigned m_waitMs;
};

// No labels: every rule that needs one is skipped.
class NoLabels : public LabelSource {
public:
  Fed Deliver(int, int, std::wstring &why) override {
    why = L"needs a scan (run with --feed on a simulated device, or with --interactive)";
    return Fed::Unavailable;
  }
  unsigned WaitMs() const override { return 0; }
  bool Person() const override { return false; }
};

// A second QuillonCheck process in its hidden --hold-claim mode.
class ProcessClaimHolder : public ClaimHolder {
public:
  explicit ProcessClaimHolder(std::wstring device) : m_device(std::move(device)) {}
  ~ProcessClaimHolder() override { Release(); }
  long Hold(long timeout) override;
  void Release() override;

private:
  std::wstring m_device;
  ScopedHandle m_process;
  ScopedHandle m_release;
  unsigned m_count = 0;
};

// The --hold-claim mode: opens and claims the device, signals the parent,
// and lets go when told to (or after a minute). Returns the exit status: 0,
// or the result code of the Open or ClaimDevice that failed.
int HoldClaim(const std::wstring &device, const std::wstring &signal, long timeout);

// Switches a simulated device's own sample labels off (its DemoInterval
// registry value) while it lives, when the device has that value and the
// entry may be written; Restore puts the old value back.
class QuietSimulatedDevice {
public:
  explicit QuietSimulatedDevice(const std::wstring &device);
  ~QuietSimulatedDevice() { Restore(); }
  QuietSimulatedDevice(const QuietSimulatedDevice &) = delete;
  QuietSimulatedDevice &operator=(const QuietSimulatedDevice &) = delete;
  void Restore();

private:
  ScopedRegKey m_key;
  DWORD m_old = 0;
};
