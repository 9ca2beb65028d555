// MessageBoxWatcher: while it lives, a background thread finds the message
// boxes that the watched thread (by default the one that made the watcher)
// shows, records their caption and text in order, and dismisses them, so a
// test that makes the code under test show a modal box does not hang.
//
//   MessageBoxWatcher boxes;
//   dialog.OnSomething();                  // shows a box; it is closed for us
//   ASSERT_EQ(boxes.Seen().size(), 1u);
//   EXPECT_EQ(boxes.Seen()[0].text, L"Device power off");
//
// By default only message boxes are handled (dialogs of class "#32770" with
// the text static 0xFFFF). A filter can take other dialogs as well; they are
// dismissed with WM_COMMAND IDOK (IDCANCEL when they have no OK button).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <map>
#include <string>
#include <thread>
#include <vector>

class MessageBoxWatcher {
public:
  struct Box {
    std::wstring caption;
    std::wstring text; // the static 0xFFFF; empty for other dialogs
    HWND hwnd;         // no longer valid once the box is closed
    HWND owner;        // its owner window when it was seen
  };
  // Decides whether a visible "#32770" window of the watched thread is to be
  // recorded and dismissed.
  using Filter = std::function<bool(HWND)>;
  static bool IsMessageBox(HWND hwnd);

  explicit MessageBoxWatcher(Filter filter = IsMessageBox, DWORD threadId = GetCurrentThreadId());
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher &) = delete;
  MessageBoxWatcher &operator=(const MessageBoxWatcher &) = delete;

  // The boxes seen so far, in the order they appeared.
  std::vector<Box> Seen() const;
  // The texts of the boxes seen so far, in order.
  std::vector<std::wstring> Texts() const;
  size_t Count() const;
  void Clear();

private:
  void Run();
  void Scan();

  Filter m_filter;
  DWORD m_threadId;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_lock;
  std::vector<Box> m_seen;
  std::map<HWND, ULONGLONG> m_handled; // when each was asked to close
  std::thread m_thread;
};
