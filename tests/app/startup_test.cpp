// The console started as a process in a prefix where the scanner control is
// not registered: it must say so clearly and end with an error code instead
// of vanishing, also when it was started from a path longer than MAX_PATH.
#include "driver/console_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

TEST(Startup, WithoutTheControlObjectReportsTheClassAndExitsNonZero) {
  ConsoleProcess console;
  ASSERT_TRUE(console.Start());

  const auto box = console.WaitForMessageBox(L"Quillon", 30s);
  ASSERT_TRUE(box.has_value()) << "no message box appeared";
  EXPECT_NE(box->text.find(L"{CCB90182-B81E-11D2-AB74-0040054C3719}"), std::wstring::npos) << box->text;
  EXPECT_NE(box->text.find(L"Class not registered"), std::wstring::npos) << box->text;
  EXPECT_EQ(nullptr, console.WaitForWindow(ConsoleCaption(), 0ms)) << "the main window must not appear";

  const auto code = console.WaitForExit(20s);
  ASSERT_TRUE(code.has_value()) << "the console did not end after the message";
  EXPECT_NE(0u, *code);
}

std::wstring DosPath(const std::string &unixPath) {
  std::wstring path = L"Z:";
  for (char c : unixPath)
    path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

struct ImageSearch {
  std::wstring image;
  HWND found;
};

// A visible dialog of a process started from the image.
BOOL CALLBACK FindDialogOfImage(HWND hwnd, LPARAM lp) {
  auto *search = reinterpret_cast<ImageSearch *>(lp);
  wchar_t cls[32] = L"";
  if (!IsWindowVisible(hwnd) || !GetClassNameW(hwnd, cls, 32) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return TRUE;
  std::vector<wchar_t> image(4096);
  DWORD size = static_cast<DWORD>(image.size());
  const bool same = QueryFullProcessImageNameW(process, 0, image.data(), &size) &&
                    lstrcmpiW(image.data(), search->image.c_str()) == 0;
  CloseHandle(process);
  if (!same) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The path of the executable is longer than MAX_PATH: the message still
// carries the program's name as its caption.
TEST(Startup, FromAPathLongerThanMaxPathTheMessageStillCarriesTheProgramName) {
  std::string dir = ConsoleExeUnixPath();
  dir.erase(dir.find_last_of('/'));
  std::vector<std::string> dirs;
  for (int i = 0; DosPath(dir).size() < MAX_PATH + 20; ++i) {
    dir += "/a-folder-whose-name-makes-the-path-long-" + std::to_string(i);
    dirs.push_back(dir);
    CreateDirectoryW(DosPath(dir).c_str(), nullptr);
  }
  const std::string exe = dir + "/Quillon.exe";
  ASSERT_TRUE(CopyFileW(ConsoleExePath().c_str(), DosPath(exe).c_str(), FALSE)) << GetLastError();
  ASSERT_GT(DosPath(exe).size(), static_cast<size_t>(MAX_PATH));

  // CreateProcess here takes no path that long; Wine's loader, started from
  // a Unix shell, does.
  const std::string shellCommand = std::string("exec ") + QUILLON_WINE_LOADER + " '" + exe + "'";
  std::wstring commandLine = L"sh -c \"" + std::wstring(shellCommand.begin(), shellCommand.end()) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(
      CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << GetLastError();
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  ImageSearch search{DosPath(exe), nullptr};
  WaitUntil([&] { return !EnumWindows(FindDialogOfImage, reinterpret_cast<LPARAM>(&search)) && search.found; }, 30s);
  ASSERT_NE(search.found, nullptr) << "no message from the console";
  DWORD pid = 0;
  GetWindowThreadProcessId(search.found, &pid);
  const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  EXPECT_EQ(WindowText(search.found), L"Quillon");
  EXPECT_NE(WindowText(GetDlgItem(search.found, 0xFFFF)).find(L"{CCB90182-B81E-11D2-AB74-0040054C3719}"),
            std::wstring::npos);
  PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  if (process) {
    if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }

  DeleteFileW(DosPath(exe).c_str());
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it)
    RemoveDirectoryW(DosPath(*it).c_str());
}

} // namespace
