// The console driver's hand on the scanner: feeds the simulated device the
// console has open through the injection client (control/inject/client.h),
// as scaninject does: what a scanner would read, power changes, errors.
#pragma once

#include "control/inject/protocol.h"

#include <windows.h>

#include <cstdint>
#include <string>

class Injector {
public:
  explicit Injector(std::wstring device) : m_device(std::move(device)) {}

  // The open device's injection window; null while the device is not open.
  HWND Window() const;
  // One label (raw bytes and decoded label both data); true when taken.
  bool Label(long type, const std::string &data) const;
  // A command with numbers (Power, Error, Burst, FailNext, LongStrings, Flood).
  bool Numbers(quillon::inject::Command command, std::int32_t value, std::int32_t extra = 0,
               std::int32_t first = 0) const;

private:
  std::wstring m_device;
};
