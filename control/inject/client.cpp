// The injection channel's client, see client.h.
#include "control/inject/client.h"

namespace quillon::inject {

std::vector<HWND> FindWindows(const wchar_t *device) {
  std::vector<HWND> out;
  HWND h = nullptr;
  while ((h = FindWindowExW(HWND_MESSAGE, h, kInjectClass, device)) != nullptr)
    out.push_back(h);
  return out;
}

HWND FindFirstWindow(const wchar_t *device) { return FindWindowExW(HWND_MESSAGE, nullptr, kInjectClass, device); }

void AppendLabel(std::string &payload, std::int32_t type, std::string_view data, std::string_view raw) {
  const LabelRecord record{type, static_cast<std::uint32_t>(raw.size()), static_cast<std::uint32_t>(data.size())};
  payload.append(reinterpret_cast<const char *>(&record), sizeof record);
  payload += raw;
  payload += data;
}

std::string LabelPayload(std::int32_t type, std::string_view data, std::string_view raw) {
  std::string payload;
  AppendLabel(payload, type, data, raw);
  return payload;
}

Delivery Send(HWND window, Command command, const void *data, std::size_t size, Wait wait) {
  COPYDATASTRUCT cds{command, static_cast<DWORD>(size), const_cast<void *>(data)};
  const auto message = reinterpret_cast<LPARAM>(&cds);
  Delivery out;
  if (!window) {
    out.error = ERROR_INVALID_WINDOW_HANDLE;
    return out;
  }
  if (wait.milliseconds == kWaitForever) {
    // SendMessage tells no failure from an answer: a window that went away
    // meanwhile answers 0, as a device that refuses does.
    out.reply = SendMessageW(window, WM_COPYDATA, 0, message);
    out.delivered = true;
    return out;
  }
  DWORD_PTR reply = 0;
  SetLastError(0);
  if (SendMessageTimeoutW(window, WM_COPYDATA, 0, message, wait.flags, wait.milliseconds, &reply)) {
    out.delivered = true;
    out.reply = static_cast<LRESULT>(reply);
  } else {
    out.error = GetLastError();
  }
  return out;
}

Delivery SendNumbers(HWND window, Command command, std::int32_t value, std::int32_t extra, std::int32_t first,
                     Wait wait) {
  const Numbers numbers{value, extra, first};
  return Send(window, command, &numbers, sizeof numbers, wait);
}

} // namespace quillon::inject
