#include "control/claim.h"

#include "control/opos.h"

namespace quillon {
namespace {

std::wstring MutexName(const std::wstring &deviceName) {
  std::wstring name = L"Quillon.Scanner.Claim.";
  for (wchar_t c : deviceName)
    name += c == L'\\' ? L'/' : c;
  return name;
}

struct HolderStart {
  std::wstring mutexName;
  DWORD timeout;
  HANDLE releaseEvent;
  HANDLE acquiredEvent;
  long result = opos::E_FAILURE;
};

class Handle {
public:
  explicit Handle(HANDLE h) : m_h(h) {}
  Handle(const Handle &) = delete;
  Handle &operator=(const Handle &) = delete;
  ~Handle() {
    if (m_h) CloseHandle(m_h);
  }
  HANDLE Get() const { return m_h; }
  HANDLE Detach() { return std::exchange(m_h, nullptr); }

private:
  HANDLE m_h;
};

} // namespace

DWORD WINAPI DeviceClaim::HolderThread(void *param) {
  HolderStart &start = *static_cast<HolderStart *>(param);
  Handle mutex(CreateMutexW(nullptr, FALSE, start.mutexName.c_str()));
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
  Handle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Handle acquired(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!release.Get() || !acquired.Get()) return opos::E_FAILURE;
  HolderStart start{MutexName(deviceName), timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs), release.Get(),
                    acquired.Get()};
  Handle thread(CreateThread(nullptr, 64 * 1024, HolderThread, &start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread.Get()) return opos::E_FAILURE;
  WaitForSingleObject(acquired.Get(), INFINITE);
  if (start.result != opos::SUCCESS) {
    WaitForSingleObject(thread.Get(), INFINITE);
    return start.result;
  }
  m_thread = thread.Detach();
  m_releaseEvent = release.Detach();
  return opos::SUCCESS;
}

void DeviceClaim::Release() {
  if (!m_thread) return;
  SetEvent(m_releaseEvent);
  WaitForSingleObject(m_thread, INFINITE);
  CloseHandle(std::exchange(m_thread, nullptr));
  CloseHandle(std::exchange(m_releaseEvent, nullptr));
}

bool DeviceClaim::HeldElsewhere(const std::wstring &deviceName) {
  DeviceClaim probe;
  if (probe.Acquire(deviceName, 0) == opos::SUCCESS) return false;
  return true;
}

} // namespace quillon
