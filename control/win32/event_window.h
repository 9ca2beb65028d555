// The wake-up of the application's thread: a message-only window made on that
// thread when the device is first opened (a control that is never opened
// makes none), to which any thread posts; its window procedure runs the
// delivery.
#pragma once

#include "control/core/platform.h"

#include <windows.h>

#include <atomic>
#include <functional>

namespace quillon::control {

class EventWindow final : public IWakeup {
public:
  // onWake runs on the thread that makes the window, for each wake-up.
  explicit EventWindow(std::function<void()> onWake);
  EventWindow(const EventWindow &) = delete;
  EventWindow &operator=(const EventWindow &) = delete;
  ~EventWindow();

  // Makes the window on the calling thread, once.
  bool Prepare() override;
  // Fails when the thread's message queue is full (Windows holds 10,000
  // posted messages per thread) or the window is gone.
  bool Post() override;

private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::function<void()> m_onWake;
  // Written once by Prepare before any other thread may post.
  std::atomic<HWND> m_hwnd{nullptr};
};

} // namespace quillon::control
