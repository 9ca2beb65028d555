// The device claim of claim.h: a named mutex held by a thread of its own.
#include "control/win32/claim.h"

#include "control/core/opos.h"

#include <sddl.h>

#include <map>
#include <mutex>
#include <utility>

namespace quillon::control {
namespace {

// Device names are case-blind: the key of a device is its name in capitals.
std::wstring Key(std::wstring name) {
  if (!name.empty()) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

// This process's claims: device key, and whether it is held (or still being waited for).
struct ProcessClaims {
  std::mutex lock;
  std::map<std::wstring, bool> held;
};
ProcessClaims &Claims() {
  static ProcessClaims claims;
  return claims;
}

// Who may use the mutex: everyone may wait on it and release it, SYSTEM and
// administrators anything; its integrity label is medium, so that a mutex made
// by an elevated process is still open to a normal one.
class ClaimSecurity {
public:
  ClaimSecurity() {
    for (const wchar_t *sddl : {L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;WD)S:(ML;;NW;;;ME)",
                                L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;WD)"})
      if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &m_descriptor, nullptr)) break;
    m_attributes.lpSecurityDescriptor = m_descriptor;
  }
  ClaimSecurity(const ClaimSecurity &) = delete;
  ClaimSecurity &operator=(const ClaimSecurity &) = delete;
  ~ClaimSecurity() { LocalFree(m_descriptor); }
  SECURITY_ATTRIBUTES *Get() { return m_descriptor ? &m_attributes : nullptr; }

private:
  PSECURITY_DESCRIPTOR m_descriptor = nullptr;
  SECURITY_ATTRIBUTES m_attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

struct HolderStart {
  std::wstring mutexName;
  DWORD timeout;
  HANDLE releaseEvent;
  HANDLE acquiredEvent;
  long result = opos::E_FAILURE;
};

// Waits for the handle while running the caller's messages, as a modal loop
// does: the caller's windows stay alive (paint, timers, input), and a call
// into the control that arrives meanwhile is answered. A WM_QUIT ends the
// running of messages and is posted again afterwards.
void WaitRunningMessages(HANDLE h) {
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjectsEx(1, &h, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r != WAIT_OBJECT_0 + 1) break; // signalled, or no waiting on messages here
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        WaitForSingleObject(h, INFINITE);
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  WaitForSingleObject(h, INFINITE);
}

// The state of a mutex as the kernel has it, asked without taking it.
struct MutantBasicInformation {
  LONG currentCount; // 1 free, 0 or less owned
  BOOLEAN ownedByCaller;
  BOOLEAN abandonedState;
};
using NtQueryMutantFunction = LONG(WINAPI *)(HANDLE, int, void *, ULONG, ULONG *);

NtQueryMutantFunction NtQueryMutant() {
  static const auto function = reinterpret_cast<NtQueryMutantFunction>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryMutant")));
  return function;
}

} // namespace

std::wstring DeviceClaim::MutexName(const std::wstring &deviceName) {
  std::wstring name = L"Global\\Quillon.Scanner.Claim.";
  for (const wchar_t c : Key(deviceName))
    name += c == L'\\' ? L'/' : c;
  return name;
}

DWORD WINAPI DeviceClaim::HolderThread(void *param) {
  HolderStart &start = *static_cast<HolderStart *>(param);
  ClaimSecurity security;
  ScopedHandle mutex(CreateMutexW(security.Get(), FALSE, start.mutexName.c_str()));
  if (!mutex.Get()) {
    SetEvent(start.acquiredEvent);
    return 0;
  }
  const DWORD wait = WaitForSingleObject(mutex.Get(), start.timeout);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    start.result = wait == WAIT_TIMEOUT ? opos::E_TIMEOUT : opos::E_FAILURE;
    SetEvent(start.acquiredEvent);
    return 0;
  }
  start.result = opos::SUCCESS;
  const HANDLE releaseEvent = start.releaseEvent; // start dies once signalled
  SetEvent(start.acquiredEvent);
  WaitForSingleObject(releaseEvent, INFINITE);
  ReleaseMutex(mutex.Get());
  return 0;
}

long DeviceClaim::Acquire(const std::wstring &deviceName, long timeoutMs) {
  if (Held()) return opos::SUCCESS;
  const std::wstring key = Key(deviceName);
  {
    ProcessClaims &claims = Claims();
    std::lock_guard lock(claims.lock);
    if (!claims.held.emplace(key, false).second) return opos::E_TIMEOUT; // this process has it
  }
  auto forget = [&] {
    ProcessClaims &claims = Claims();
    std::lock_guard lock(claims.lock);
    claims.held.erase(key);
  };
  ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ScopedHandle acquired(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!release.Get() || !acquired.Get()) {
    forget();
    return opos::E_FAILURE;
  }
  HolderStart start{MutexName(deviceName), timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs), release.Get(),
                    acquired.Get()};
  ScopedHandle thread(
      CreateThread(nullptr, 64 * 1024, HolderThread, &start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread.Get()) {
    forget();
    return opos::E_FAILURE;
  }
  WaitRunningMessages(acquired.Get());
  if (start.result != opos::SUCCESS) {
    WaitForSingleObject(thread.Get(), INFINITE); // it is ending
    forget();
    return start.result;
  }
  {
    ProcessClaims &claims = Claims();
    std::lock_guard lock(claims.lock);
    claims.held[key] = true;
  }
  m_key = key;
  m_thread = std::move(thread);
  m_releaseEvent = std::move(release);
  return opos::SUCCESS;
}

void DeviceClaim::Release() {
  if (!m_thread) return;
  SetEvent(m_releaseEvent.Get());
  WaitForSingleObject(m_thread.Get(), INFINITE);
  m_thread.Reset();
  m_releaseEvent.Reset();
  ProcessClaims &claims = Claims();
  std::lock_guard lock(claims.lock);
  claims.held.erase(std::exchange(m_key, {}));
}

bool DeviceClaim::HeldElsewhere(const std::wstring &deviceName) {
  {
    ProcessClaims &claims = Claims();
    std::lock_guard lock(claims.lock);
    const auto it = claims.held.find(Key(deviceName));
    if (it != claims.held.end() && it->second) return true;
  }
  ScopedHandle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, MutexName(deviceName).c_str()));
  if (!mutex.Get()) return GetLastError() == ERROR_ACCESS_DENIED; // none: nobody holds it
  if (const NtQueryMutantFunction query = NtQueryMutant()) {
    MutantBasicInformation info{};
    if (query(mutex.Get(), 0, &info, sizeof info, nullptr) >= 0) return info.currentCount <= 0 && !info.abandonedState;
  }
  return false;
}

} // namespace quillon::control
