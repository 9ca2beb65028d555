// The console driver: starts a real console process (the one this build tree
// made, or an installed one) and drives it from outside, as a user would:
// through window messages to its windows, never by calls into its code.
#pragma once

#include "comkit/handles.h"

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>

// The path of the Quillon.exe this build tree made, as Linux sees it (the one
// place that names it), and as Windows sees it (Wine's drive Z:).
std::string ConsoleExeUnixPath();
std::wstring ConsoleExePath();

// The main window's caption: the console under test has this program's
// bitness, since both come from the same build tree.
inline const wchar_t *ConsoleCaption() { return sizeof(void *) == 8 ? L"Quillon (64bit)" : L"Quillon (32bit)"; }

struct SeenMessageBox {
  std::wstring caption;
  std::wstring text;
};

class ConsoleProcess {
public:
  ConsoleProcess() = default;
  // A console elsewhere than in the build tree (an installed one).
  explicit ConsoleProcess(std::wstring exePath) : m_exePath(std::move(exePath)) {}
  ConsoleProcess(const ConsoleProcess &) = delete;
  ConsoleProcess &operator=(const ConsoleProcess &) = delete;
  ~ConsoleProcess(); // ends the process if it still runs

  // Starts the console; false when the process could not be started.
  // stdoutFile, when given, receives the process's standard output.
  bool Start(const std::wstring &stdoutFile = L"");
  // Waits for the main window (ConsoleCaption()); null on time-out.
  HWND WaitForMainWindow(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  HWND MainWindow() const { return m_hwndMain; }
  DWORD ProcessId() const { return m_processId; }

  // Waits for a message box or dialog of this process with the given caption
  // (any caption when empty), reads it, and presses its button nButtonID
  // (IDOK by default; 0 leaves it open). The box's window is returned in
  // *phwnd when asked.
  std::optional<SeenMessageBox> WaitForMessageBox(const std::wstring &caption = L"",
                                                  std::chrono::milliseconds timeout = std::chrono::seconds(10),
                                                  int nButtonID = IDOK, HWND *phwnd = nullptr);
  // A top-level window of this process with the caption; null on time-out.
  HWND WaitForWindow(const std::wstring &caption, std::chrono::milliseconds timeout);

  // Exit code once the process ends; nullopt on time-out.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // Presses Open, picks the device in the chooser "Open Service Object" and
  // presses OK; false when the chooser did not appear, does not offer the
  // device, or did not close.
  bool ChooseDevice(const std::wstring &device);

  // Main-window controls.
  void Click(int nID) const;        // posts BM_CLICK
  void Press(int nID) const;        // sends BM_CLICK: the handler has run on return
  std::wstring Text(int nID) const; // WM_GETTEXT
  void SetText(int nID, const std::wstring &text) const;
  bool IsEnabled(int nID) const;
  int Check(int nID) const; // BM_GETCHECK
  // Selects entry nIndex of a combo box and notifies the owner as a user's
  // choice does (CBN_SELCHANGE).
  void Select(int nID, int nIndex) const;

private:
  std::wstring m_exePath = ConsoleExePath();
  ScopedHandle m_process;
  DWORD m_processId = 0;
  HWND m_hwndMain = nullptr;
};

// Generic helpers on windows of other processes.
std::wstring WindowText(HWND hwnd);
void SelectComboEntry(HWND hwndDialog, int nID, int nIndex);
// Waits until pred() holds or the time-out passes; returns pred().
template <class Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() > deadline) return pred();
    Sleep(5);
  }
}
