#include "injector.h"

#include <vector>

namespace inject = quillon::inject;

HWND Injector::Window() const { return FindWindowExW(HWND_MESSAGE, nullptr, inject::kInjectClass, m_device.c_str()); }

bool Injector::Label(long type, const std::string &data) const {
  const inject::LabelRecord rec{static_cast<std::int32_t>(type), static_cast<std::uint32_t>(data.size()),
                                static_cast<std::uint32_t>(data.size())};
  std::vector<char> payload(reinterpret_cast<const char *>(&rec), reinterpret_cast<const char *>(&rec) + sizeof rec);
  payload.insert(payload.end(), data.begin(), data.end()); // raw bytes
  payload.insert(payload.end(), data.begin(), data.end()); // decoded label
  COPYDATASTRUCT cds{inject::Labels, static_cast<DWORD>(payload.size()), payload.data()};
  return SendMessageW(Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)) == 1;
}

bool Injector::Numbers(inject::Command command, std::int32_t value, std::int32_t extra, std::int32_t first) const {
  inject::Numbers n{value, extra, first};
  COPYDATASTRUCT cds{command, sizeof n, &n};
  return SendMessageW(Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)) == 1;
}
