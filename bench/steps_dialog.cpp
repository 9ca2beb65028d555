// Template 102 with the console's start-up steps and nothing else: OLE
// started, the hosted control made and activated in place in the dialog,
// then the window's own initialisation in the console's order (caption,
// system menu item, both icons, the property list's rows, the three disabled
// fields, the Direct IO list with its first entry chosen), each as the plain
// Win32 call it comes down to. No framework, no control site, no data
// exchange. quillon_bench shows its start-up beside the console's: the least
// a program showing this window with these steps takes on the machine.
#include "bench/template_102.h"

#include "app/resource.h"
#include "comkit/handles.h"
#include "console/direct_io_panel.h"
#include "console/property_browser.h"

#include <ole2.h>
#include <olectl.h>

#include <array>
#include <iterator>

namespace {

// The property list's labels, taken from its table when compiling: the
// program links none of the console.
constexpr auto kPropertyLabels = [] {
  std::array<const wchar_t *, std::size(kPropertyRows)> labels{};
  for (size_t i = 0; i < labels.size(); ++i)
    labels[i] = kPropertyRows[i].pszLabel;
  return labels;
}();

struct Steps {
  HICON icon = nullptr;
  const HostedControlItem *item = nullptr;
  comkit::ComPtr<IOleObject> control;
};
Steps g_steps; // what wWinMain hands the dialog procedure

void HostControl(HWND hwnd) {
  if (!g_steps.item || FAILED(CoCreateInstance(g_steps.item->clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                               g_steps.control.PutVoid())))
    return;
  comkit::ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(g_steps.control.QueryInto(IID_IPersistStreamInit, persist.PutVoid()))) persist->InitNew();
  RECT pos = g_steps.item->rcDialogUnits;
  MapDialogRect(hwnd, &pos);
  g_steps.control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, hwnd, &pos);
}

void InitWindow(HWND hwnd) {
  HostControl(hwnd);
  SetWindowTextW(hwnd, L"Steps dialog");
  wchar_t about[64];
  if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 64) > 0) {
    const HMENU menu = GetSystemMenu(hwnd, FALSE);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
  }
  SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_steps.icon));
  SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_steps.icon));
  const HWND properties = GetDlgItem(hwnd, IDC_PROPERTY_LIST);
  SendMessageW(properties, WM_SETREDRAW, FALSE, 0);
  for (const wchar_t *label : kPropertyLabels)
    SendMessageW(properties, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
  SendMessageW(properties, WM_SETREDRAW, TRUE, 0);
  for (int id : {IDC_SCAN_DATA_TYPE, IDC_RETURN_VALUE, IDC_RESULT_CODE})
    EnableWindow(GetDlgItem(hwnd, id), FALSE);
  const HWND commands = GetDlgItem(hwnd, IDC_DIRECTIO_COMMAND);
  for (const DirectIOCommand &row : kDirectIOCommands)
    SendMessageW(commands, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.pszName));
  SendMessageW(commands, CB_SETCURSEL, 0, 0);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Template102 t;
  if (!LoadTemplate102(instance, t) || FAILED(OleInitialize(nullptr))) return 1;
  g_steps.icon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  g_steps.item = t.hosted.empty() ? nullptr : &t.hosted.front();
  const INT_PTR result = ShowTemplate102(instance, t, InitWindow);
  if (g_steps.control) g_steps.control->Close(OLECLOSE_NOSAVE);
  g_steps.control.Reset(); // before OLE ends
  OleUninitialize();
  return static_cast<int>(result);
}
