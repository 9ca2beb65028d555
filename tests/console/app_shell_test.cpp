// The application object's start and end, each run on a thread of its own:
// when OLE cannot be started the program says so and ends with an error code
// before any window; OLE that the program started ends with its run.
#include "support/message_box_watcher.h"

#include "app/pellix_app.h"
#include "framework/winapp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const wchar_t *MainCaption() { return sizeof(void *) == 8 ? L"Quillon (64bit)" : L"Quillon (32bit)"; }

struct AppRun {
  int exitCode = -1;
  std::vector<MessageBoxWatcher::Box> windows; // every dialog it showed, closed as seen
  HRESULT afterwards = E_FAIL;                 // joining a multi-threaded apartment after the run
};

// Runs the application on a new thread, which first joins the multi-threaded
// apartment when asked (OLE cannot start there).
AppRun RunApplication(bool inMultiThreadedApartment) {
  AppRun run;
  std::atomic<DWORD> threadId{0};
  std::atomic<bool> go{false};
  std::thread thread([&] {
    if (inMultiThreadedApartment) CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    threadId = GetCurrentThreadId();
    while (!go)
      Sleep(1);
    {
      CPellixApp app;
      run.exitCode = app.Run();
    }
    if (inMultiThreadedApartment) CoUninitialize();
    // Refused while OLE is still initialised on the thread.
    run.afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(run.afterwards)) CoUninitialize();
  });
  while (!threadId)
    Sleep(1);
  MessageBoxWatcher watcher([](HWND) { return true; }, threadId);
  go = true;
  thread.join();
  run.windows = watcher.Seen();
  return run;
}

TEST(AppShell, WhenOleCannotStartTheProgramSaysSoAndEndsWithAnErrorCode) {
  const AppRun run = RunApplication(true);
  ASSERT_EQ(run.windows.size(), 1u) << "one message, and no main window";
  EXPECT_EQ(run.windows[0].caption, AfxGetAppName().str());
  EXPECT_NE(run.windows[0].text.find(L"OLE could not be started"), std::wstring::npos)
      << testing::PrintToString(run.windows[0].text);
  EXPECT_NE(run.windows[0].caption, MainCaption());
  EXPECT_EQ(run.exitCode, 1);
}

TEST(AppShell, OleStartedForTheRunEndsWithIt) {
  const AppRun run = RunApplication(false);
  ASSERT_EQ(run.windows.size(), 1u);
  EXPECT_EQ(run.windows[0].caption, MainCaption());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.afterwards, S_OK) << "OLE is still initialised on the thread";
}

} // namespace
