// The class factory of every class in the object map. Any thread may use it;
// its count is interlocked and CreateInstance keeps no state.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "com_module.h"
#include "com_object_root.h"

namespace suite {

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
 public:
  virtual ~CComClassFactory() = default;

  // The object map's class-object creator: a CComObjectCached factory making
  // its instances with instanceCreator. *ppv is null on failure.
  static HRESULT WINAPI CreateCached(CreatorFunc instanceCreator, REFIID riid, void** ppv) noexcept;

  // The interface map: IUnknown and IClassFactory.
  IUnknown* InterfaceFor(REFIID riid) noexcept;

  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) noexcept override;
  STDMETHOD(LockServer)(BOOL fLock) noexcept override;

 private:
  CreatorFunc m_pfnCreateInstance = nullptr;
};

}  // namespace suite
