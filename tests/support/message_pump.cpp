#include "message_pump.h"

namespace {

void DispatchPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Waits for the next message, but not past the deadline.
void WaitUntil(ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  if (now >= deadline) return;
  const ULONGLONG left = deadline - now;
  MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < 50 ? left : 50), QS_ALLINPUT);
}

} // namespace

void PumpMessages(DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  do {
    DispatchPending();
    WaitUntil(deadline);
  } while (GetTickCount64() < deadline);
  DispatchPending();
}

bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMilliseconds) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
  for (;;) {
    DispatchPending();
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    WaitUntil(deadline);
  }
}
