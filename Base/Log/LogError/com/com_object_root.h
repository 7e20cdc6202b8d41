// The object-root bases every COM class here derives from: a reference count
// whose arithmetic the threading model chooses, sharing its storage with the
// controlling unknown of an aggregated object (an object is either counted by
// itself or delegates, never both).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <climits>

namespace suite {

struct CComSingleThreadModel {
  static LONG Increment(LONG* p) noexcept { return ++*p; }
  static LONG Decrement(LONG* p) noexcept { return --*p; }
};

struct CComMultiThreadModel {
  static LONG Increment(LONG* p) noexcept { return InterlockedIncrement(p); }
  static LONG Decrement(LONG* p) noexcept { return InterlockedDecrement(p); }
};

// The count an object carries while it is destroyed (0xC0000001): an AddRef
// and Release made from inside its destructor cannot reach zero a second time.
inline constexpr LONG kDestructionRefCount = -(LONG_MAX / 2);

template <class TThreadModel>
class CComObjectRootEx {
 public:
  using ThreadModel = TThreadModel;

  LONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
  LONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }

  ULONG OuterAddRef() noexcept { return m_pOuterUnknown->AddRef(); }
  ULONG OuterRelease() noexcept { return m_pOuterUnknown->Release(); }
  HRESULT OuterQueryInterface(REFIID riid, void** ppv) noexcept {
    return m_pOuterUnknown->QueryInterface(riid, ppv);
  }

 protected:
  union {
    LONG m_dwRef = 0;
    IUnknown* m_pOuterUnknown;
  };
};

// Answers riid from the class's interface map (InterfaceFor, which returns the
// interface pointer itself or null) and adds the reference through the found
// interface, so that a contained object's reference goes to its outer unknown.
template <class T>
HRESULT InternalQueryInterface(T* object, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  IUnknown* found = object->InterfaceFor(riid);
  *ppv = found;
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  return S_OK;
}

}  // namespace suite
