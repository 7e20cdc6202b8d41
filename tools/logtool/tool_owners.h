// Owners for the kinds of handle that only this tool uses, on the project's
// one owner template (unique_resource.h).
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include "Win/unique_resource.h"

namespace suite {

// Texts that WinHTTP hands out are freed with GlobalFree.
using UniqueWinHttpHandle = UniqueResource<ClosedBy<HINTERNET, &WinHttpCloseHandle>>;
using UniqueGlobalText = UniqueResource<ClosedBy<LPWSTR, &GlobalFree>>;
using UniqueHashAlgorithm = UniqueResource<
    ClosedBy<BCRYPT_ALG_HANDLE, +[](BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }>>;
using UniqueHash = UniqueResource<ClosedBy<BCRYPT_HASH_HANDLE, &BCryptDestroyHash>>;

}  // namespace suite
