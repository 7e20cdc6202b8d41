#include "shared_open.h"

#include "crt_operations.h"
#include "sharing_retry.h"

UniqueFileHandle OpenLogFileWithRetry(const wchar_t* path, DWORD access, DWORD disposition) {
  return OpenRetryingWhileShared([&] {
    return OpenFileHandle(path, access, FILE_SHARE_READ, nullptr, disposition,
                          FILE_ATTRIBUTE_NORMAL, nullptr, 1);
  });
}
