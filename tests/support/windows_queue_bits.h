// WindowsQueueBits: while it lives, GetQueueStatus answers on this thread as
// Windows does, not as Wine does.
//
// Windows clears the QS_POSTMESSAGE bit whenever the thread calls GetMessage
// or PeekMessage, filtered or not, and sets it again only when a message is
// posted; only QS_ALLPOSTMESSAGE survives a filtered peek. Wine keeps both
// bits set for as long as posted messages wait, which forgives code that asks
// for QS_POSTMESSAGE after a control or COM has peeked for messages of its
// own. The calls of this test program (its code and the console code linked
// into it) to GetQueueStatus, PeekMessageW, GetMessageW and PostMessageW are
// redirected through its import table for that.
//
//   WindowsQueueBits asWindows;
//   PostMessageW(hwnd, WM_APP, 0, 0);
//   PeekMessageW(&msg, hwnd, WM_TIMER, WM_TIMER, PM_NOREMOVE);
//   GetQueueStatus(QS_POSTMESSAGE);   // 0, although WM_APP waits
#pragma once

class WindowsQueueBits {
public:
  WindowsQueueBits();
  ~WindowsQueueBits();
  WindowsQueueBits(const WindowsQueueBits &) = delete;
  WindowsQueueBits &operator=(const WindowsQueueBits &) = delete;

  // Whether every call was redirected.
  bool Installed() const { return m_installed; }

private:
  bool m_installed = false;
};
