// The library's process entry. Runs inside the loader lock: nothing here may
// let an exception escape.
#include <windows.h>

#include "Win/hresult_error.h"
#include "com/com_module.h"
#include "log_store_manager.h"

namespace suite {

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) noexcept {
  switch (dwReason) {
    case DLL_PROCESS_ATTACH:
      ComModuleInit(hInstance);
      // Out of memory while filling the texts: load anyway; texts not yet
      // filled stay empty and the roll-over waits for the next load.
      CatchAll([] { g_logStoreManager.Initialize(); });
      DisableThreadLibraryCalls(hInstance);
      break;
    case DLL_PROCESS_DETACH:
      ComModuleTerm();
      break;
    default:
      break;
  }
  return TRUE;
}

}  // namespace suite
