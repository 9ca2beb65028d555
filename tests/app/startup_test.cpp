// The console started as a process in a prefix where the scanner control is
// not registered: it must say so clearly and end with an error code instead
// of vanishing.
#include "support/console_process.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(Startup, WithoutTheControlObjectReportsTheClassAndExitsNonZero) {
  ConsoleProcess console;
  ASSERT_TRUE(console.Start());

  const auto box = console.WaitForMessageBox(L"Quillon", 30s);
  ASSERT_TRUE(box.has_value()) << "no message box appeared";
  EXPECT_NE(box->text.find(L"{CCB90182-B81E-11D2-AB74-0040054C3719}"), std::wstring::npos) << box->text;
  EXPECT_NE(box->text.find(L"Class not registered"), std::wstring::npos) << box->text;
  EXPECT_EQ(nullptr, console.WaitForWindow(ConsoleCaption(), 0ms)) << "the main window must not appear";

  const auto code = console.WaitForExit(20s);
  ASSERT_TRUE(code.has_value()) << "the console did not end after the message";
  EXPECT_NE(0u, *code);
}
