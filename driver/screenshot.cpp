// Screenshots through ImageMagick's import, see screenshot.h.
#include "driver/screenshot.h"

#include "driver/console_process.h"

namespace {

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

} // namespace

bool TakeScreenshot(const std::string &unixPath, const RECT *crop) {
  const std::string dir = unixPath.substr(0, unixPath.find_last_of('/'));
  CreateDirectoryW((L"Z:" + Wide(dir)).c_str(), nullptr);
  std::wstring command = L"import -window root";
  if (crop) {
    command += L" -crop " + std::to_wstring(crop->right - crop->left) + L"x" +
               std::to_wstring(crop->bottom - crop->top) + L"+" + std::to_wstring(crop->left) + L"+" +
               std::to_wstring(crop->top) + L" +repage";
  }
  command += L" " + Wide(unixPath);
  const std::wstring file = L"Z:" + Wide(unixPath);
  DeleteFileW(file.c_str());
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\usr\\bin\\import", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  const ScopedHandle thread(pi.hThread), process(pi.hProcess);
  // The handle of a Unix process does not tell when it ends: wait for the
  // file, written once the screen has been read, to stop growing.
  auto size = [&] {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    return GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &a) ? a.nFileSizeLow : 0;
  };
  DWORD last = 0;
  return WaitUntil(
      [&] {
        const DWORD now = size();
        const bool steady = now != 0 && now == last;
        last = now;
        if (!steady) Sleep(200);
        return steady;
      },
      std::chrono::seconds(30));
}
