// Move-only owners for Win32 and COM resources. Each kind is a traits type
// {invalid value, close}; adoption is explicit (reset/put), never implicit.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace suite {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept = default;
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : m_value(other.detach()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.detach());
    return *this;
  }
  ~UniqueResource() { reset(); }

  static UniqueResource Adopt(Type value) noexcept {
    UniqueResource owner;
    owner.reset(value);
    return owner;
  }

  Type get() const noexcept { return m_value; }
  bool valid() const noexcept { return m_value != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Gives up ownership: the caller closes the value returned.
  [[nodiscard]] Type detach() noexcept { return std::exchange(m_value, Traits::Invalid()); }

  // Takes `value`, closing the one held before. The value already held is
  // kept open: closing it would leave the owner holding a dead value.
  // Closing keeps the thread's last error: callers often read it afterwards.
  void reset(Type value = Traits::Invalid()) noexcept {
    if (value == m_value) return;
    Type old = std::exchange(m_value, value);
    if (old != Traits::Invalid()) {
      DWORD error = GetLastError();
      Traits::Close(old);
      SetLastError(error);
    }
  }

  // Empties the owner and hands out its address for an out-parameter.
  Type* put() noexcept {
    reset();
    return &m_value;
  }

 private:
  Type m_value = Traits::Invalid();
};

// Traits of a kind that is null when empty and closed by one call.
template <typename T, auto CloseFunction>
struct ClosedBy {
  using Type = T;
  static T Invalid() noexcept { return nullptr; }
  static void Close(T value) noexcept { CloseFunction(value); }
};
// File-system handles are INVALID_HANDLE_VALUE when empty.
template <auto CloseFunction>
struct FileSystemHandleClosedBy : ClosedBy<HANDLE, CloseFunction> {
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
};

using UniqueFileHandle = UniqueResource<FileSystemHandleClosedBy<&CloseHandle>>;
using UniqueFindHandle = UniqueResource<FileSystemHandleClosedBy<&FindClose>>;
using UniqueKernelHandle = UniqueResource<ClosedBy<HANDLE, &CloseHandle>>;
using UniqueModule = UniqueResource<ClosedBy<HMODULE, &FreeLibrary>>;
using UniqueBstr = UniqueResource<ClosedBy<BSTR, &SysFreeString>>;
using UniqueMappedView = UniqueResource<ClosedBy<void*, &UnmapViewOfFile>>;

// A COM interface pointer owner.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(const ComPtr& other) noexcept : m_p(other.m_p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }
  void reset() noexcept {
    if (T* old = std::exchange(m_p, nullptr)) old->Release();
  }
  // Gives up ownership: the caller owns the reference returned.
  [[nodiscard]] T* detach() noexcept { return std::exchange(m_p, nullptr); }
  T** put() noexcept {
    reset();
    return &m_p;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

 private:
  T* m_p = nullptr;
};

// Exactly a VARIANT, cleared when it goes.
class UniqueVariant {
 public:
  UniqueVariant() noexcept { VariantInit(&m_v); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { VariantClear(&m_v); }
  VARIANT* put() noexcept {
    VariantClear(&m_v);
    return &m_v;
  }
  // Takes ownership of the BSTR.
  void adopt_bstr(BSTR s) noexcept {
    VariantClear(&m_v);
    V_VT(&m_v) = VT_BSTR;
    V_BSTR(&m_v) = s;
  }
  const VARIANT& get() const noexcept { return m_v; }

 private:
  VARIANT m_v;
};
static_assert(sizeof(UniqueVariant) == sizeof(VARIANT));

}  // namespace suite
