// Aggregation. CComAggObject is the inner, non-delegating unknown that owns
// the count and keeps the module loaded; the class itself lives inside it as a
// CComContainedObject, whose IUnknown methods all go to the outer unknown.
#pragma once

#include "com_module.h"
#include "com_object_root.h"

namespace suite {

template <class Base>
class CComContainedObject final : public Base {
 public:
  // The outer unknown is not referenced: it owns the aggregate.
  explicit CComContainedObject(IUnknown* pOuterUnknown) noexcept {
    this->m_pOuterUnknown = pOuterUnknown;
  }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) noexcept override {
    return this->OuterQueryInterface(riid, ppv);
  }
  STDMETHOD_(ULONG, AddRef)() noexcept override { return this->OuterAddRef(); }
  STDMETHOD_(ULONG, Release)() noexcept override { return this->OuterRelease(); }
};

template <class Contained>
class CComAggObject final : public IUnknown,
                            public CComObjectRootEx<typename Contained::ThreadModel> {
 public:
  explicit CComAggObject(IUnknown* pOuterUnknown) : m_contained(pOuterUnknown) {
    g_comModule.Lock();
  }
  virtual ~CComAggObject() {
    this->m_dwRef = kDestructionRefCount;
    g_comModule.Unlock();
  }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) noexcept override {
    if (ppv == nullptr) return E_POINTER;
    if (InlineIsEqualGUID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return InternalQueryInterface(&m_contained, riid, ppv);
  }
  STDMETHOD_(ULONG, AddRef)() noexcept override { return this->InternalAddRef(); }
  STDMETHOD_(ULONG, Release)() noexcept override {
    const LONG count = this->InternalRelease();
    if (count == 0) delete this;
    return count;
  }

 private:
  CComContainedObject<Contained> m_contained;
};

}  // namespace suite
