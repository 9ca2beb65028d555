// An exclusive claim on a device name, shared by every process on the machine.
// The claim is a named mutex held by a thread of its own, so that two control
// objects on one thread still exclude each other and a process that dies
// leaves the mutex abandoned, which the next claimant takes over.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace quillon {

class DeviceClaim {
public:
  DeviceClaim() = default;
  DeviceClaim(const DeviceClaim &) = delete;
  DeviceClaim &operator=(const DeviceClaim &) = delete;
  ~DeviceClaim() { Release(); }

  // Waits up to timeoutMs (-1: for ever) for the claim. Returns an OPOS code:
  // SUCCESS, E_TIMEOUT, or E_FAILURE when the system refuses.
  long Acquire(const std::wstring &deviceName, long timeoutMs);
  void Release();
  bool Held() const { return m_thread != nullptr; }
  // Whether some other holder has the claim right now.
  static bool HeldElsewhere(const std::wstring &deviceName);

private:
  static DWORD WINAPI HolderThread(void *param);

  HANDLE m_thread = nullptr;
  HANDLE m_releaseEvent = nullptr;
};

} // namespace quillon
