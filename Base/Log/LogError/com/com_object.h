// The counted wrappers that make a class a live COM object: CComObject for a
// plain object, which keeps the module loaded while it lives, and
// CComObjectCached for a class factory that the module caches.
#pragma once

#include "com_module.h"
#include "com_object_root.h"

namespace suite {

template <class Base>
class CComObject final : public Base {
 public:
  CComObject() { g_comModule.Lock(); }
  ~CComObject() override {
    this->m_dwRef = kDestructionRefCount;
    g_comModule.Unlock();
  }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) noexcept override {
    return InternalQueryInterface(this, riid, ppv);
  }
  STDMETHOD_(ULONG, AddRef)() noexcept override { return this->InternalAddRef(); }
  STDMETHOD_(ULONG, Release)() noexcept override {
    const LONG count = this->InternalRelease();
    if (count == 0) delete this;
    return count;
  }
};

// The cache's own reference does not lock the module: the second reference,
// the first one a client holds, does.
template <class Base>
class CComObjectCached final : public Base {
 public:
  ~CComObjectCached() override { this->m_dwRef = kDestructionRefCount; }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) noexcept override {
    return InternalQueryInterface(this, riid, ppv);
  }
  STDMETHOD_(ULONG, AddRef)() noexcept override {
    const LONG count = this->InternalAddRef();
    if (count == 2) g_comModule.Lock();
    return count;
  }
  STDMETHOD_(ULONG, Release)() noexcept override {
    const LONG count = this->InternalRelease();
    if (count == 0) {
      delete this;
    } else if (count == 1) {
      g_comModule.Unlock();
    }
    return count;
  }
};

}  // namespace suite
