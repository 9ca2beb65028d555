// The console's template 102 as the framework creates it: its hosted
// control's item taken out. The start-up yardsticks show it with the dialog
// manager alone.
#pragma once

#include "framework/dialog_template.h"

#include <windows.h>

#include <vector>

struct Template102 {
  std::vector<BYTE> plain;               // the template without the hosted item
  std::vector<HostedControlItem> hosted; // the item taken out
};

// False when the resource is missing or malformed.
bool LoadTemplate102(HINSTANCE instance, Template102 &out);

// Shows the template modally, runs init on the window at WM_INITDIALOG, and
// ends it on Cancel; -1 when it could not be shown.
INT_PTR ShowTemplate102(HINSTANCE instance, const Template102 &t, void (*init)(HWND));
