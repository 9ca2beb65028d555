// The console driver's process and windows, see console_process.h.
#include "driver/console_process.h"

#include <vector>

#ifndef QUILLON_EXE_UNIX_PATH
#error QUILLON_EXE_UNIX_PATH must name the built console
#endif

namespace {

struct FindArgs {
  DWORD pid;
  const std::wstring *caption;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lp) {
  auto *args = reinterpret_cast<FindArgs *>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != args->pid || !IsWindowVisible(hwnd)) return TRUE;
  wchar_t cls[32] = L"";
  GetClassNameW(hwnd, cls, 32);
  if (lstrcmpW(cls, L"#32770") != 0) return TRUE;
  if (!args->caption->empty() && WindowText(hwnd) != *args->caption) return TRUE;
  args->found = hwnd;
  return FALSE;
}

HWND FindProcessDialog(DWORD pid, const std::wstring &caption, HWND exclude) {
  FindArgs args{pid, &caption, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&args));
  return args.found == exclude ? nullptr : args.found;
}

} // namespace

std::string ConsoleExeUnixPath() { return QUILLON_EXE_UNIX_PATH; }

std::wstring ConsoleExePath() {
  std::wstring path = L"Z:";
  for (char c : ConsoleExeUnixPath())
    path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::wstring WindowText(HWND hwnd) {
  const int n = static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
  if (n <= 0) return L"";
  std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
  const int got = static_cast<int>(
      SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(buffer.data())));
  return std::wstring(buffer.data(), static_cast<size_t>(got > 0 ? got : 0));
}

void SelectComboEntry(HWND hwndDialog, int nID, int nIndex) {
  const HWND combo = GetDlgItem(hwndDialog, nID);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
  SendMessageW(hwndDialog, WM_COMMAND, MAKEWPARAM(nID, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

ConsoleProcess::~ConsoleProcess() {
  if (m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(m_process.Get(), 99);
    WaitForSingleObject(m_process.Get(), 5000);
  }
}

bool ConsoleProcess::Start(const std::wstring &stdoutFile) {
  std::wstring commandLine = L"\"" + m_exePath + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  ScopedHandle out;
  if (!stdoutFile.empty()) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    out.Reset(CreateFileW(stdoutFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out.Get();
    si.hStdError = out.Get();
    si.hStdInput = nullptr;
  }
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, static_cast<bool>(out), 0, nullptr, nullptr, &si,
                      &pi))
    return false;
  const ScopedHandle thread(pi.hThread);
  m_process.Reset(pi.hProcess);
  m_processId = pi.dwProcessId;
  return true;
}

HWND ConsoleProcess::WaitForWindow(const std::wstring &caption, std::chrono::milliseconds timeout) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindProcessDialog(m_processId, caption, nullptr)) != nullptr; }, timeout);
  return found;
}

HWND ConsoleProcess::WaitForMainWindow(std::chrono::milliseconds timeout) {
  m_hwndMain = WaitForWindow(ConsoleCaption(), timeout);
  return m_hwndMain;
}

std::optional<SeenMessageBox> ConsoleProcess::WaitForMessageBox(const std::wstring &caption,
                                                                std::chrono::milliseconds timeout, int nButtonID,
                                                                HWND *phwnd) {
  HWND box = nullptr;
  WaitUntil([&] { return (box = FindProcessDialog(m_processId, caption, m_hwndMain)) != nullptr; }, timeout);
  if (!box) return std::nullopt;
  SeenMessageBox seen{WindowText(box), WindowText(GetDlgItem(box, 0xFFFF))};
  if (phwnd) *phwnd = box;
  if (nButtonID) PostMessageW(box, WM_COMMAND, MAKEWPARAM(nButtonID, BN_CLICKED), 0);
  if (nButtonID) WaitUntil([&] { return !IsWindow(box); }, std::chrono::seconds(5));
  return seen;
}

std::optional<DWORD> ConsoleProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (!m_process) return std::nullopt;
  if (WaitForSingleObject(m_process.Get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(m_process.Get(), &code);
  return code;
}

bool ConsoleProcess::ChooseDevice(const std::wstring &device) {
  Click(1003); // posted: the chooser is modal
  const HWND chooser = WaitForWindow(L"Open Service Object", std::chrono::seconds(10));
  if (!chooser) return false;
  const int kNames = 1043;
  const LRESULT index = SendMessageW(GetDlgItem(chooser, kNames), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(device.c_str()));
  if (index == CB_ERR) {
    PostMessageW(GetDlgItem(chooser, IDCANCEL), BM_CLICK, 0, 0);
    return false;
  }
  SelectComboEntry(chooser, kNames, static_cast<int>(index));
  PostMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
  return WaitUntil([&] { return !IsWindow(chooser); }, std::chrono::seconds(10));
}

void ConsoleProcess::Press(int nID) const { SendMessageW(GetDlgItem(m_hwndMain, nID), BM_CLICK, 0, 0); }

void ConsoleProcess::Click(int nID) const { PostMessageW(GetDlgItem(m_hwndMain, nID), BM_CLICK, 0, 0); }

std::wstring ConsoleProcess::Text(int nID) const { return WindowText(GetDlgItem(m_hwndMain, nID)); }

void ConsoleProcess::SetText(int nID, const std::wstring &text) const {
  SendMessageW(GetDlgItem(m_hwndMain, nID), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool ConsoleProcess::IsEnabled(int nID) const { return IsWindowEnabled(GetDlgItem(m_hwndMain, nID)) != FALSE; }

int ConsoleProcess::Check(int nID) const {
  return static_cast<int>(SendMessageW(GetDlgItem(m_hwndMain, nID), BM_GETCHECK, 0, 0));
}

void ConsoleProcess::Select(int nID, int nIndex) const { SelectComboEntry(m_hwndMain, nID, nIndex); }
