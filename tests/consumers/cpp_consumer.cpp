// An integrator's C++ program: linked at load time, it names the class and
// the interface with __uuidof, as generated headers let it.
#include <windows.h>
#include <objbase.h>

#include "LogError.h"

int main() {
  LogException(nullptr, 0, L"C++ consumer", L"value");
  if (FAILED(CoInitialize(nullptr))) return 2;
  IKRLogSender* sender = nullptr;
  HRESULT hr = CoCreateInstance(__uuidof(LogSender), nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IKRLogSender), reinterpret_cast<void**>(&sender));
  const bool sameIds = IsEqualGUID(__uuidof(IKRLogSender), IID_IKRLogSender) &&
                       IsEqualGUID(__uuidof(LogSender), CLSID_LogSender);
  if (SUCCEEDED(hr)) sender->Release();
  CoUninitialize();
  return !sameIds ? 4 : SUCCEEDED(hr) ? 0 : 3;
}
