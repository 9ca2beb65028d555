// The About box (template 100).
#pragma once

#include "app/resource.h"
#include "framework/dialog.h"

class CAboutDlg : public CDialog {
public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
