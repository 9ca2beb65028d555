#include "bench/template_102.h"

#include "app/resource.h"

bool LoadTemplate102(HINSTANCE instance, Template102 &out) {
  const HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(IDD_PELLIX_DIALOG), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  const HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
  const auto *bytes = static_cast<const BYTE *>(loaded ? LockResource(loaded) : nullptr);
  return bytes && SplitDialogTemplate(bytes, SizeofResource(instance, res), out.plain, out.hosted);
}

namespace {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_INITDIALOG:
    reinterpret_cast<void (*)(HWND)>(lp)(hwnd);
    return TRUE;
  case WM_COMMAND:
    if (LOWORD(wp) == IDCANCEL) EndDialog(hwnd, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

} // namespace

INT_PTR ShowTemplate102(HINSTANCE instance, const Template102 &t, void (*init)(HWND)) {
  return DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(t.plain.data()), nullptr, DialogProc,
                                 reinterpret_cast<LPARAM>(init));
}
