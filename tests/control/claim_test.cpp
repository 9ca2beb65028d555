// The claim on a device: exclusive across control objects and processes,
// waited for without freezing the caller, and asked about without taking it.
#include "scanner_driver.h"

#include "control/win32/claim.h"

#include <atomic>
#include <thread>

using namespace quillon::control::test;

namespace {

// Two control objects on one thread: only this thread could release the
// first one's claim, so the second is answered at once instead of waiting for ever.
TEST(Claim, SecondObjectOnTheThreadIsAnsweredAtOnce) {
  Scanner a, b;
  ASSERT_EQ(0, a.CallText(Open, kFull));
  ASSERT_EQ(0, b.CallText(Open, kFull));
  ASSERT_EQ(0, a.Call(ClaimDevice, 0));
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(112, b.Call(ClaimDevice, -1));
  EXPECT_EQ(112, b.Call(ClaimDevice, 5000));
  EXPECT_LT(GetTickCount64() - start, 1000u);
  b.PutBool(DeviceEnabled, true);
  EXPECT_EQ(102, b.GetLong(ResultCode)) << "claimed by another";
  ASSERT_EQ(0, a.Call(ReleaseDevice));
  EXPECT_EQ(0, b.Call(ClaimDevice, 0)) << "free once the first lets go";
}

// The device's claim is a machine-wide object, so that a service in another
// session and a console in this one exclude each other.
TEST(Claim, IsOneObjectForTheWholeMachine) {
  Scanner s;
  ASSERT_EQ(0, s.CallText(Open, kFull));
  ASSERT_EQ(0, s.Call(ClaimDevice, 0));
  const ScopedHandle global(OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\Quillon.Scanner.Claim.QUILLONTESTFULL"));
  EXPECT_NE(nullptr, global.Get()) << "no global claim object";
}

VOID CALLBACK MarkHandled(HWND hwnd, UINT, UINT_PTR, DWORD) {
  *reinterpret_cast<bool *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) = true;
}

// Waiting for a claim that another process holds runs this thread's
// messages: the caller's windows do not freeze for the length of the time-out.
TEST(Claim, WaitingRunsTheCallersMessages) {
  Scanner s;
  ASSERT_EQ(0, s.CallText(Open, kFull));
  const ClaimHelper helper(kFull, 900);
  ASSERT_TRUE(helper.Started());
  ASSERT_TRUE(helper.WaitUntilClaimed()) << "the helper did not claim";
  bool handled = false;
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
  SetTimer(window, 1, 50, MarkHandled);
  EXPECT_EQ(112, s.Call(ClaimDevice, 600));
  EXPECT_TRUE(handled) << "a timer of this thread did not run during the wait";
  KillTimer(window, 1);
  DestroyWindow(window);
  helper.WaitForExit();
}

// Asking whether someone else holds the claim takes nothing: claims made at
// the same time by another thread never fail because of the question.
TEST(Claim, AskingWhetherItIsHeldTakesNothing) {
  std::atomic<bool> done{false};
  int failures = 0;
  std::thread claimant([&] {
    for (int i = 0; i < 60; ++i) {
      quillon::control::DeviceClaim claim;
      if (claim.Acquire(L"QuillonTestHammer", 0) != 0) ++failures;
    }
    done = true;
  });
  int asked = 0;
  quillon::control::DeviceClaim probe;
  while (!done) {
    probe.HeldElsewhere(L"QuillonTestHammer");
    ++asked;
  }
  claimant.join();
  EXPECT_GT(asked, 0);
  EXPECT_EQ(0, failures);
}

} // namespace
