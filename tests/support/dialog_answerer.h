// DialogAnswerer: while it lives, a background thread waits for dialogs with
// a given caption shown by the watched thread (by default the one that made
// the answerer) and hands each one, once, to an action that runs on the
// answerer's thread. The action reads and fills the dialog with messages and
// ends it (Press), so a test can get through code that runs a dialog modally.
//
//   DialogAnswerer chooser(L"Open Service Object", [](HWND dlg) {
//     SetDlgItemTextW(dlg, 1043, L"Typed");
//     DialogAnswerer::Press(dlg, IDOK);
//   });
//   window.OnOpen();   // returns once the action has pressed OK
//   chooser.Answered();   // 1
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class DialogAnswerer {
public:
  using Action = std::function<void(HWND)>;

  DialogAnswerer(std::wstring caption, Action action, DWORD threadId = GetCurrentThreadId());
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer &) = delete;
  DialogAnswerer &operator=(const DialogAnswerer &) = delete;

  // How many dialogs the action has been given.
  int Answered() const { return m_answered; }

  // Presses button nID of a dialog of another thread, as a click does.
  static void Press(HWND hwndDialog, int nID);
  // Texts of a combo box of a dialog of another thread: its entries in list
  // order, its edit field, and the selected index.
  static std::vector<std::wstring> ComboEntries(HWND hwndDialog, int nID);
  static std::wstring ItemText(HWND hwndDialog, int nID);
  static int ComboSelection(HWND hwndDialog, int nID);

private:
  void Run();

  std::wstring m_caption;
  Action m_action;
  DWORD m_threadId;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_answered{0};
  std::set<HWND> m_done;
  std::thread m_thread;
};
