#include "wine_host.h"

#include <windows.h>

namespace suite {

bool RunsUnderWine() {
  // ntdll.dll is in every process; no reference is taken.
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace suite
