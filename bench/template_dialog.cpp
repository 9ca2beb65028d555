// The console's own window without the console: template 102 with all its
// controls, shown by the dialog manager alone, with the console's manifest
// and resources. No framework, no OLE, no hosted control (the control's
// item is taken out, as the console's framework does before creating the
// window). quillon_bench compares the console's start-up with this program
// to see what the framework, OLE and the hosted control cost on top of the
// window the console must show anyway.
#include "bench/template_102.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Template102 t;
  if (!LoadTemplate102(instance, t)) return 1;
  return static_cast<int>(ShowTemplate102(instance, t, [](HWND hwnd) { SetWindowTextW(hwnd, L"Template dialog"); }));
}
