// The application's entry point: runs the one application object.
#include "framework/winapp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CWinApp *app = AfxGetApp();
  const int code = app ? app->Run() : 1;
  return code;
}
