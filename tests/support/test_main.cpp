// Entry point of every test program: OLE initialised on the test thread (a
// single-threaded apartment, as in the console), then all tests.
#include <gtest/gtest.h>

#include <ole2.h>
#include <windows.h>

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(OleInitialize(nullptr))) return 2;
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
