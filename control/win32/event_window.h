// The wake-up of the application's thread: a message-only window made on that
// thread, to which any thread posts; its window procedure runs the delivery.
#pragma once

#include "control/core/platform.h"

#include <windows.h>

#include <functional>

namespace quillon::control {

class EventWindow final : public IWakeup {
public:
  // onWake runs on the thread that makes the window, for each wake-up.
  explicit EventWindow(std::function<void()> onWake);
  EventWindow(const EventWindow &) = delete;
  EventWindow &operator=(const EventWindow &) = delete;
  ~EventWindow();

  bool Created() const { return m_hwnd != nullptr; }
  // Fails when the thread's message queue is full (Windows holds 10,000
  // posted messages per thread) or the window is gone.
  bool Post() override;

private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::function<void()> m_onWake;
  HWND m_hwnd = nullptr;
};

} // namespace quillon::control
