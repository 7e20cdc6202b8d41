// The server's two exports. Both are noexcept through the module, whose
// operations cannot throw.
#include <windows.h>
#include <objbase.h>

#include "com_module.h"

namespace suite {

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return g_comModule.GetClassObject(rclsid, riid, ppv);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
  return g_comModule.GetLockCount() == 0 ? S_OK : S_FALSE;
}

}  // namespace suite
