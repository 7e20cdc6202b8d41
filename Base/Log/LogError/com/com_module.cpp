#include "com_module.h"

#include "object_map.h"

namespace suite {

CComModule g_comModule;

CComModule::CComModule() noexcept { InitializeCriticalSection(&m_csObjMap); }

CComModule::~CComModule() { DeleteCriticalSection(&m_csObjMap); }

void CComModule::Init(ObjectMapEntry* pObjMap, HINSTANCE hInstance) noexcept {
  m_hInst = hInstance;
  m_pObjMap = pObjMap;
  for (ObjectMapEntry* entry = m_pObjMap; entry->pclsid != nullptr; ++entry) {
    entry->pfnObjectMain(true);
  }
}

void CComModule::Term() noexcept {
  if (m_pObjMap == nullptr) return;
  for (ObjectMapEntry* entry = m_pObjMap; entry->pclsid != nullptr; ++entry) {
    if (IUnknown* factory = entry->pCF.exchange(nullptr)) factory->Release();
    entry->pfnObjectMain(false);
  }
  m_pObjMap = nullptr;
}

HRESULT CComModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  for (ObjectMapEntry* entry = m_pObjMap; entry != nullptr && entry->pclsid != nullptr; ++entry) {
    if (entry->pfnGetClassObject == nullptr || !InlineIsEqualGUID(*entry->pclsid, rclsid)) {
      continue;
    }
    IUnknown* factory = entry->pCF.load(std::memory_order_acquire);
    if (factory == nullptr) {
      // Tested again under the lock: two first callers must not both create.
      HRESULT hr = S_OK;
      EnterCriticalSection(&m_csObjMap);
      factory = entry->pCF.load(std::memory_order_relaxed);
      if (factory == nullptr) {
        hr = entry->pfnGetClassObject(entry->pfnCreateInstance, IID_IUnknown,
                                      reinterpret_cast<void**>(&factory));
        if (SUCCEEDED(hr)) entry->pCF.store(factory, std::memory_order_release);
      }
      LeaveCriticalSection(&m_csObjMap);
      if (FAILED(hr)) return hr;
    }
    return factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void ComModuleInit(HINSTANCE hInstance) noexcept { g_comModule.Init(g_objectMap, hInstance); }

void ComModuleTerm() noexcept { g_comModule.Term(); }

}  // namespace suite
