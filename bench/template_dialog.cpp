// The console's own window without the console: template 102 with all its
// controls, shown by the dialog manager alone, with the console's manifest
// and resources. No framework, no OLE, no hosted control (the control's
// item is taken out, as the console's framework does before creating the
// window). quillon_bench compares the console's start-up with this program
// to see what the framework, OLE and the hosted control cost on top of the
// window the console must show anyway.
#include "app/resource.h"
#include "framework/dialog_template.h"

#include <windows.h>

#include <vector>

namespace {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
  case WM_INITDIALOG:
    SetWindowTextW(hwnd, L"Template dialog");
    return TRUE;
  case WM_COMMAND:
    if (LOWORD(wp) == IDCANCEL) EndDialog(hwnd, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(IDD_PELLIX_DIALOG), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  const HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
  const auto *bytes = static_cast<const BYTE *>(loaded ? LockResource(loaded) : nullptr);
  std::vector<BYTE> plain;
  std::vector<HostedControlItem> hosted;
  if (!bytes || !SplitDialogTemplate(bytes, SizeofResource(instance, res), plain, hosted)) return 1;
  return static_cast<int>(
      DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(plain.data()), nullptr, DialogProc, 0));
}
