// The in-process server's module: the lock count that decides whether the
// library may be unloaded, the object map and the lazily created, cached class
// factories. Any thread may use it; the counts are interlocked and the factory
// creation is serialised by the module's lock.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace suite {

// Creates an object for riid; pv is the outer unknown (instances) or unused.
using CreatorFunc = HRESULT(WINAPI*)(void* pv, REFIID riid, void** ppv);
// Creates a class factory that makes its instances with instanceCreator.
using ClassObjectCreatorFunc = HRESULT(WINAPI*)(CreatorFunc instanceCreator, REFIID riid,
                                                void** ppv);

// A map ends with an entry whose class id is null.
struct ObjectMapEntry {
  const CLSID* pclsid;
  ClassObjectCreatorFunc pfnGetClassObject;
  CreatorFunc pfnCreateInstance;
  // The cached factory, owned by the entry; null until first requested.
  std::atomic<IUnknown*> pCF;
  // Class set-up (true) at attach and tear-down (false) at detach.
  void(WINAPI* pfnObjectMain)(bool bStarting);
};

class CComModule {
 public:
  CComModule() noexcept;
  ~CComModule();
  CComModule(const CComModule&) = delete;
  CComModule& operator=(const CComModule&) = delete;

  // Attach and detach only. Term releases the cached factories; afterwards no
  // class is found any more.
  void Init(ObjectMapEntry* pObjMap, HINSTANCE hInstance) noexcept;
  void Term() noexcept;

  LONG Lock() noexcept { return InterlockedIncrement(&m_nLockCnt); }
  LONG Unlock() noexcept { return InterlockedDecrement(&m_nLockCnt); }
  LONG GetLockCount() noexcept { return InterlockedCompareExchange(&m_nLockCnt, 0, 0); }

  // *ppv is null on every failure.
  HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;

 private:
  LONG m_nLockCnt = 0;
  ObjectMapEntry* m_pObjMap = nullptr;
  HINSTANCE m_hInst = nullptr;
  CRITICAL_SECTION m_csObjMap;
};

// The one module of this loaded copy of the library.
extern CComModule g_comModule;

// The process entry's share (attach and detach).
void ComModuleInit(HINSTANCE hInstance) noexcept;
void ComModuleTerm() noexcept;

}  // namespace suite
