// The smallest useful Win32 dialog program: one modal dialog from a template
// built in memory, with an OK button. quillon_bench starts it the same way as
// the console to have a yardstick for start-up time on the same machine.
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// Appends a UTF-16 string (with its terminator) to the template.
void AddText(std::vector<WORD> &t, const wchar_t *text) {
  do
    t.push_back(static_cast<WORD>(*text));
  while (*text++);
}

void AlignDword(std::vector<WORD> &t) {
  if (t.size() % 2) t.push_back(0);
}

template <class T> void AddStruct(std::vector<WORD> &t, const T &value) {
  const size_t at = t.size();
  t.resize(at + (sizeof value + 1) / 2);
  std::memcpy(t.data() + at, &value, sizeof value);
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
  case WM_INITDIALOG:
    return TRUE;
  case WM_COMMAND:
    if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(hwnd, LOWORD(wp));
    return TRUE;
  }
  return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  std::vector<WORD> t;
  DLGTEMPLATE dlg{};
  dlg.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | WS_VISIBLE;
  dlg.cdit = 1;
  dlg.cx = 160;
  dlg.cy = 60;
  AddStruct(t, dlg);
  t.push_back(0); // no menu
  t.push_back(0); // default class
  AddText(t, L"Minimal dialog");
  t.push_back(8); // font size
  AddText(t, L"MS Shell Dlg");

  AlignDword(t);
  DLGITEMTEMPLATE ok{};
  ok.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
  ok.x = 55;
  ok.y = 36;
  ok.cx = 50;
  ok.cy = 14;
  ok.id = IDOK;
  AddStruct(t, ok);
  t.push_back(0xFFFF);
  t.push_back(0x0080); // button class
  AddText(t, L"OK");
  t.push_back(0); // no creation data

  return static_cast<int>(
      DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), nullptr, DialogProc, 0));
}
