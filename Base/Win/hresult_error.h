// The one error type this code raises on purpose, and the barrier that turns
// any exception into an HRESULT at an exported function or COM method.
#pragma once

#include <windows.h>

#include <exception>
#include <new>

class HresultError : public std::exception {
 public:
  explicit HresultError(HRESULT code) noexcept : code_(code) {}
  HRESULT code() const noexcept { return code_; }
  const char* what() const noexcept override { return "HRESULT failure"; }

 private:
  HRESULT code_;
};

inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw HresultError(hr);
}

// Call only from inside a catch block.
inline HRESULT HresultFromCaughtException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const HresultError& error) {
    return error.code();
  } catch (...) {
    return E_FAIL;
  }
}
