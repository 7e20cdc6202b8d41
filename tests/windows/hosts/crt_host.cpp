// One of several processes that use crt.dll's settings at once. Waits for the
// test's start event when there is one, then asks for the client identifier
// and stores it under COUNT keys of its own, "P<n>.<k>", in [General].
//
//   crt_host N COUNT
#include <windows.h>

#include <string>

#include "Win/unique_resource.h"
#include "crt_api.h"

using namespace suite;

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  UniqueKernelHandle start =
      UniqueKernelHandle::Adopt(OpenEventW(SYNCHRONIZE, FALSE, L"Local\\PlayerSuite.Test.Start"));
  if (start) WaitForSingleObject(start.get(), 10000);
  wchar_t uuid[260] = {};
  if (!GetClientUuid(uuid, 260)) return 3;
  for (int k = 0; k < _wtoi(argv[2]); ++k) {
    const std::wstring key = L"P" + std::wstring(argv[1]) + L"." + std::to_wstring(k);
    if (!SetConfigString(key.c_str(), uuid, 1)) return 4;
  }
  return 0;
}
