// Owner of an open registry key.
#pragma once

#include <windows.h>

#include "unique_resource.h"

namespace suite {

using UniqueRegKey = UniqueResource<ClosedBy<HKEY, &RegCloseKey>>;

}  // namespace suite
