#include "shared_open.h"

#include "crt_operations.h"

namespace {
constexpr LONGLONG kRetryMicroseconds = 20000;
}

UniqueFileHandle OpenLogFileWithRetry(const wchar_t* path, DWORD access, DWORD disposition) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (;;) {
    UniqueFileHandle file = UniqueFileHandle::Adopt(OpenFileHandle(
        path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr, 1));
    if (file || GetLastError() != ERROR_SHARING_VIOLATION) return file;
    QueryPerformanceCounter(&now);
    if ((now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart >= kRetryMicroseconds) {
      return file;
    }
    Sleep(1);
  }
}
