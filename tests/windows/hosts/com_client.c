/* A client that knows nothing but the public header: it obtains the sender
 * through the registry and asks it for the send permission. With the argument
 * "mta" it asks for the report itself from the multithreaded apartment, where
 * it must hold a proxy made by the type library's marshaler (only a proxy
 * answers IMultiQI); the data folder must hold a pending log then.
 * Exit code: 0 when the object answered 1 (with a text, for the report);
 * otherwise the failing HRESULT (E_UNEXPECTED for any other answer, or for an
 * object that is no proxy). */
#include <windows.h>
#include <objbase.h>
#include <string.h>

#include "LogError.h"

static HRESULT AskForPermission(IKRLogSender* sender) {
  return sender->lpVtbl->GetReport(sender, NULL, 0) == 1 ? S_OK : E_UNEXPECTED;
}

static HRESULT AskThroughProxyForReport(IKRLogSender* sender) {
  IUnknown* proxyOnly = NULL;
  BSTR report = NULL;
  HRESULT hr = sender->lpVtbl->QueryInterface(sender, &IID_IMultiQI, (void**)&proxyOnly);
  if (FAILED(hr)) return E_UNEXPECTED;
  proxyOnly->lpVtbl->Release(proxyOnly);
  hr = sender->lpVtbl->GetReport(sender, &report, 1) == 1 && SysStringLen(report) > 0
           ? S_OK
           : E_UNEXPECTED;
  SysFreeString(report);
  return hr;
}

int main(int argc, char** argv) {
  const int fromMta = argc > 1 && strcmp(argv[1], "mta") == 0;
  IKRLogSender* sender = NULL;
  HRESULT hr = CoInitializeEx(NULL, fromMta ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return (int)hr;
  hr = CoCreateInstance(&CLSID_LogSender, NULL, CLSCTX_INPROC_SERVER, &IID_IKRLogSender,
                        (void**)&sender);
  if (SUCCEEDED(hr)) {
    hr = fromMta ? AskThroughProxyForReport(sender) : AskForPermission(sender);
    sender->lpVtbl->Release(sender);
  }
  CoUninitialize();
  return (int)hr;
}
