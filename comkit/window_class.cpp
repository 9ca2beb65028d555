// Window classes registered once (window_class.h).
#include "comkit/window_class.h"

namespace comkit {

ATOM RegisterClassOnce(const WNDCLASSEXW &wc) {
  if (const ATOM atom = RegisterClassExW(&wc)) return atom;
  if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 0;
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  return static_cast<ATOM>(GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing));
}

} // namespace comkit
