/* An integrator's C program: linked at load time against an import library,
 * it logs one record (and finds it in the data folder), finds the run-time pointer types usable,
 * and creates the sender through the registry. Exit code 0 on success, else the step that failed.
 */
#include <windows.h>
#include <objbase.h>

#include "LogError.h"

int main(void) {
  IKRLogSender* sender = NULL;
  PFN_LogWarning logWarning = NULL;
  HRESULT hr;

  WCHAR path[MAX_PATH];
  DWORD length;

  LogError(NULL, 0, L"C consumer", NULL);
  length = GetEnvironmentVariableW(L"CRT_DATA_DIR", path, MAX_PATH - 20);
  if (length == 0 || length >= MAX_PATH - 20) return 5;
  lstrcatW(path, L"\\error.Profile");
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return 6;
  logWarning =
      (PFN_LogWarning)(void*)GetProcAddress(GetModuleHandleW(L"LogError.dll"), "LogWarning");
  if (logWarning == NULL) return 1;
  logWarning(NULL, 7, L"C consumer, at run time", L"");

  if (FAILED(CoInitialize(NULL))) return 2;
  hr = CoCreateInstance(&CLSID_LogSender, NULL, CLSCTX_INPROC_SERVER, &IID_IKRLogSender,
                        (void**)&sender);
  if (SUCCEEDED(hr)) sender->lpVtbl->Release(sender);
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 3;
}
