// An exclusive claim on a device name, shared by every process on the machine
// and every session: a named mutex in the global namespace, open to every
// user and integrity level from medium up, so that a service in session 0, a
// console in a user's session and an elevated console all exclude each other.
// The mutex is held by a thread of its own, so that a process that dies
// leaves it abandoned, which the next claimant takes over.
//
// Within this process a table says which devices are claimed (or being
// claimed): a second control object asking for one of them is answered at
// once, since only this process could end its wait. The caller's wait for a
// claim held by another process runs the caller's messages, as a modal loop
// does, so that its windows stay alive; the device core is ready for calls
// that arrive meanwhile.
#pragma once

#include "comkit/handles.h"
#include "control/core/platform.h"

#include <windows.h>

#include <string>

namespace quillon::control {

class DeviceClaim final : public IClaim {
public:
  DeviceClaim() = default;
  DeviceClaim(const DeviceClaim &) = delete;
  DeviceClaim &operator=(const DeviceClaim &) = delete;
  ~DeviceClaim() { Release(); }

  long Acquire(const std::wstring &deviceName, long timeoutMs) override;
  void Release() override;
  bool HeldElsewhere(const std::wstring &deviceName) override;
  bool Held() const { return static_cast<bool>(m_thread); }

  // The name of the kernel object behind a device's claim: the contract
  // between every copy of this control on the machine.
  static std::wstring MutexName(const std::wstring &deviceName);

private:
  static DWORD WINAPI HolderThread(void *param);

  std::wstring m_key; // the device's entry in this process's table
  ScopedHandle m_thread;
  ScopedHandle m_releaseEvent;
};

} // namespace quillon::control
