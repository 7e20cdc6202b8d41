// The proxy of an upload. Loopback targets never go through a proxy; others
// follow the current user's Internet settings (automatic detection, a
// configuration script or a fixed proxy with its bypass list), and without
// those WinHTTP's own default proxy setting.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "upload_target.h"

namespace suite {

// The access type for WinHttpOpen of a session that will reach `target`.
DWORD SessionAccessType(const UploadTarget& target);

// Applies the user's proxy choice for `target` to `request`. Discovery that
// fails leaves the session's default in place: a proxy that cannot be found
// is no reason not to try the direct way.
void ApplyUserProxy(HINTERNET session, HINTERNET request, const UploadTarget& target);

}  // namespace suite
