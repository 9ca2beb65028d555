// The module this code is linked into (the control's DLL), for registering
// window classes and finding its own file.
#pragma once

#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quillon {

inline HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

} // namespace quillon
