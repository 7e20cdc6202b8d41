// Ties a class to its class id and gives the object map its instance creator.
#pragma once

#include <new>

#include "Win/hresult_error.h"
#include "com_agg_object.h"
#include "com_object.h"

namespace suite {

template <class T, const CLSID* pclsid>
class CComCoClass {
 public:
  static const CLSID& GetObjectCLSID() noexcept { return *pclsid; }

  // pv is the outer unknown: null gives a plain object, otherwise the
  // aggregate, which answers only IUnknown (the factory checks riid).
  // *ppv is null on failure and the new object is gone again.
  static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    return CatchReturn([&] {
      if (pv == nullptr) return QueryNew(new (std::nothrow) CComObject<T>(), riid, ppv);
      return QueryNew(new (std::nothrow) CComAggObject<T>(static_cast<IUnknown*>(pv)), riid, ppv);
    });
  }

  static void WINAPI ObjectMain(bool) noexcept {}

 private:
  // The object is held through the query, so a failed query destroys it.
  template <class Object>
  static HRESULT QueryNew(Object* object, REFIID riid, void** ppv) noexcept {
    if (object == nullptr) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
};

}  // namespace suite
