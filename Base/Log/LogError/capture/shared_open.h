// Opening a log file that another writer may hold for a moment.
#pragma once

#include <windows.h>

#include "unique_resource.h"

// Opens through the utility library and, while the open fails with a sharing
// violation, retries for at most about 20 ms before giving up.
UniqueFileHandle OpenLogFileWithRetry(const wchar_t* path, DWORD access, DWORD disposition);
