// Owners for the kinds of handle that only this tool uses, on the project's
// one owner template (unique_resource.h).
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include "unique_resource.h"

struct WinHttpHandleTraits {
  using Type = HINTERNET;
  static HINTERNET Invalid() noexcept { return nullptr; }
  static void Close(HINTERNET h) noexcept { WinHttpCloseHandle(h); }
};
// Texts that WinHTTP hands out for the caller to free with GlobalFree.
struct GlobalTextTraits {
  using Type = LPWSTR;
  static LPWSTR Invalid() noexcept { return nullptr; }
  static void Close(LPWSTR p) noexcept { GlobalFree(p); }
};
struct HashAlgorithmTraits {
  using Type = BCRYPT_ALG_HANDLE;
  static BCRYPT_ALG_HANDLE Invalid() noexcept { return nullptr; }
  static void Close(BCRYPT_ALG_HANDLE h) noexcept { BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
  using Type = BCRYPT_HASH_HANDLE;
  static BCRYPT_HASH_HANDLE Invalid() noexcept { return nullptr; }
  static void Close(BCRYPT_HASH_HANDLE h) noexcept { BCryptDestroyHash(h); }
};

using UniqueWinHttpHandle = UniqueResource<WinHttpHandleTraits>;
using UniqueGlobalText = UniqueResource<GlobalTextTraits>;
using UniqueHashAlgorithm = UniqueResource<HashAlgorithmTraits>;
using UniqueHash = UniqueResource<HashTraits>;
