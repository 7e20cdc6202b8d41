#include "com_class_factory.h"

#include <new>

#include "com_object.h"

namespace suite {

HRESULT WINAPI CComClassFactory::CreateCached(CreatorFunc instanceCreator, REFIID riid,
                                              void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* factory = new (std::nothrow) CComObjectCached<CComClassFactory>();
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->m_pfnCreateInstance = instanceCreator;
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  if (FAILED(hr)) delete factory;
  return hr;
}

IUnknown* CComClassFactory::InterfaceFor(REFIID riid) noexcept {
  if (InlineIsEqualGUID(riid, IID_IUnknown) || InlineIsEqualGUID(riid, IID_IClassFactory)) {
    return static_cast<IClassFactory*>(this);
  }
  return nullptr;
}

HRESULT CComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                         void** ppvObject) noexcept {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  // An aggregate hands out its inner unknown only; anything else would let
  // the outer object lose control of the count.
  if (pUnkOuter != nullptr && !InlineIsEqualGUID(riid, IID_IUnknown)) {
    return CLASS_E_NOAGGREGATION;
  }
  return m_pfnCreateInstance(pUnkOuter, riid, ppvObject);
}

HRESULT CComClassFactory::LockServer(BOOL fLock) noexcept {
  if (fLock) {
    g_comModule.Lock();
  } else {
    g_comModule.Unlock();
  }
  return S_OK;
}

}  // namespace suite
