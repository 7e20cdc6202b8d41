// The one error vocabulary of this code: HRESULTs, with exceptions inside.
// HresultError is the one error type raised on purpose; RETURN_IF_FAILED
// passes a failure up; CatchReturn, CatchValue and CatchAll are the barriers
// that every exported function, COM method and DllMain ends in, so no
// exception crosses them.
#pragma once

#include <windows.h>

#include <exception>
#include <new>

namespace suite {

class HresultError : public std::exception {
 public:
  explicit HresultError(HRESULT code) noexcept : m_code(code) {}
  HRESULT code() const noexcept { return m_code; }
  const char* what() const noexcept override { return "HRESULT failure"; }

 private:
  HRESULT m_code;
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

// Returns the failure of `expr` from the enclosing function.
#define RETURN_IF_FAILED(expr)                     \
  do {                                             \
    const HRESULT m_hrReturned = (expr);           \
    if (FAILED(m_hrReturned)) return m_hrReturned; \
  } while (false)

// Runs `body`, which returns an HRESULT; an exception becomes its HRESULT
// (E_OUTOFMEMORY, the HresultError's code, else E_FAIL).
template <typename Body>
HRESULT CatchReturn(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return HresultFromCaughtException();
  }
}

// For calls whose failure is one fixed value of their own (FALSE, a default,
// a result that is no HRESULT of the exception): an exception becomes
// `fallback`.
template <typename Result, typename Body>
Result CatchValue(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

// For work that reports nothing: an exception ends it quietly.
template <typename Body>
void CatchAll(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace suite
