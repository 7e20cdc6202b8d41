// Opening a file that another handle may hold for a moment: while the open
// fails with a sharing violation it is tried again, for about 20 ms at most.
#pragma once

#include <windows.h>

#include "unique_resource.h"

inline constexpr LONGLONG kSharingRetryMicroseconds = 20000;

// `open` returns a raw handle, INVALID_HANDLE_VALUE with the last error set
// on failure.
template <typename Open>
UniqueFileHandle OpenRetryingWhileShared(Open&& open) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (;;) {
    UniqueFileHandle file = UniqueFileHandle::Adopt(open());
    if (file || GetLastError() != ERROR_SHARING_VIOLATION) return file;
    QueryPerformanceCounter(&now);
    if ((now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart >=
        kSharingRetryMicroseconds) {
      return file;
    }
    Sleep(1);
  }
}
