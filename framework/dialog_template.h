// Dialog templates with hosted OLE controls. The dialog manager cannot create
// a control whose class is a class identifier, so such items are taken out of
// the template and created by the framework at the same place and z-order.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <optional>
#include <vector>

struct HostedControlItem {
  size_t nIndex; // position among all items of the template (z-order)
  UINT nID;
  DWORD dwStyle;
  DWORD dwExStyle;
  RECT rcDialogUnits; // left, top, right, bottom
  CLSID clsid;
  std::vector<BYTE> initState; // bytes handed to the control as a stream
  // The control ID of the item right before it, when no other item of the
  // template has that ID: the window it follows is then found by one look-up
  // instead of a walk over the dialog's children.
  std::optional<UINT> idBefore;
};

// Splits an extended dialog template into a copy without its OLE control
// items and the list of those items. A classic template is copied unchanged.
// False when the template is malformed.
bool SplitDialogTemplate(const BYTE *pTemplate, size_t cb, std::vector<BYTE> &out,
                         std::vector<HostedControlItem> &hosted);

// Attaches the initial-state bytes from an RCDATA block: records of (control
// ID word, byte count dword, bytes), ended by a zero word. False when the
// block is malformed.
bool ApplyInitState(const BYTE *pData, size_t cb, std::vector<HostedControlItem> &hosted);
