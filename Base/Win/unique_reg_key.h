// Owner of an open registry key.
#pragma once

#include <windows.h>

#include "unique_resource.h"

struct RegKeyTraits {
  using Type = HKEY;
  static HKEY Invalid() noexcept { return nullptr; }
  static void Close(HKEY key) noexcept { RegCloseKey(key); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;
