/* A client that knows nothing but the public header: it obtains the sender
 * through the registry and asks it for the send permission.
 * Exit code: 0 when the object answered 1; otherwise the failing HRESULT
 * (E_UNEXPECTED for any other answer). */
#include <windows.h>
#include <objbase.h>

#include "LogError.h"

int main(void) {
  IKRLogSender* sender = NULL;
  HRESULT hr = CoInitialize(NULL);
  if (FAILED(hr)) return (int)hr;
  hr = CoCreateInstance(&CLSID_LogSender, NULL, CLSCTX_INPROC_SERVER, &IID_IKRLogSender,
                        (void**)&sender);
  if (SUCCEEDED(hr)) {
    hr = sender->lpVtbl->GetReport(sender, NULL, 0) == 1 ? S_OK : E_UNEXPECTED;
    sender->lpVtbl->Release(sender);
  }
  CoUninitialize();
  return (int)hr;
}
