#include "control/win32/event_window.h"

#include "comkit/window_class.h"
#include "control/win32/module_instance.h"

#include <utility>

namespace quillon::control {
namespace {

constexpr UINT WM_WAKE = WM_APP + 1;
constexpr wchar_t kClassName[] = L"QuillonScannerEvents";

ATOM RegisterOnce(WNDPROC proc) {
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = proc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = kClassName;
  return comkit::RegisterClassOnce(wc);
}

} // namespace

EventWindow::EventWindow(std::function<void()> onWake) : m_onWake(std::move(onWake)) {}

EventWindow::~EventWindow() {
  if (const HWND hwnd = m_hwnd.load()) DestroyWindow(hwnd);
}

bool EventWindow::Prepare() {
  if (m_hwnd.load()) return true;
  if (!RegisterOnce(WindowProc)) return false;
  m_hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), this);
  return m_hwnd.load() != nullptr;
}

bool EventWindow::Post() {
  const HWND hwnd = m_hwnd.load();
  return hwnd && PostMessageW(hwnd, WM_WAKE, 0, 0);
}

LRESULT CALLBACK EventWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
  } else if (msg == WM_WAKE) {
    auto *self = reinterpret_cast<EventWindow *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
      try {
        // A copy: the wake-up may end the object that owns this window.
        const std::function<void()> onWake = self->m_onWake;
        onWake();
      } catch (...) { // nothing may cross the window procedure
      }
    }
    return 0;
  } else if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace quillon::control
