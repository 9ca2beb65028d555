// CPellixApp: the application object.
#pragma once

#include "framework/winapp.h"

class CPellixApp : public CWinApp {
public:
  BOOL InitInstance() override;
  bool OnCmdMsg(UINT nCode, UINT nID) override;
};
