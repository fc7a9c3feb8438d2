#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

// Test programs run their cases on one thread in a single-threaded apartment,
// as the installer runs custom actions.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = RUN_ALL_TESTS();
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
