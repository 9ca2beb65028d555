// "Register this window class once": the class of a module is registered on
// first use and found on every later one, from any thread.
#pragma once

#include <windows.h>

namespace comkit {

// The atom of the class wc describes, registering it where the module has no
// class of that name yet; 0 (with the system's error) when it cannot be made.
ATOM RegisterClassOnce(const WNDCLASSEXW &wc);

} // namespace comkit
