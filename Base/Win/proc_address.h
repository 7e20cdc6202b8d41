// Typed access to an export found with GetProcAddress.
#pragma once

#include <windows.h>

namespace suite {

template <typename Function>
Function ProcAs(HMODULE module, const char* name) noexcept {
  // Through void(*)() the cast is the documented way between function types.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace suite
