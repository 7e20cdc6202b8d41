// The writers' gate as one process opens it: whatever allocation fails on
// the way, no writer of the folder is left waiting for a mutex nobody
// releases.
#include <windows.h>
#include <gtest/gtest.h>

#include <new>
#include <thread>

#include "allocation_fault.h"
#include "capture/active_log_gate.h"
#include "storage/log_exclusion.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

// What a writer on another thread finds: true when it can have the mutex
// at once, or when there is none.
bool AnotherWriterCanHaveTheMutex(const std::wstring& folder) {
  bool bFree = false;
  std::thread([&] {
    UniqueKernelHandle mutex = UniqueKernelHandle::Adopt(
        OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                   FolderMutexName(kActiveLogMutexPurpose, folder.c_str()).c_str()));
    if (!mutex) {
      bFree = true;
      return;
    }
    const DWORD wait = WaitForSingleObject(mutex.get(), 0);
    bFree = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (bFree) ReleaseMutex(mutex.get());
  }).join();
  return bFree;
}

TEST(GateTest, OpenLeavesNoMutexOwnedWhenMemoryRunsOut) {
  TempDataFolder folder;
  const std::wstring path = folder.File(L"error.Profile");
  bool bCompleted = false;
  for (int nth = 1; nth < 200 && !bCompleted; ++nth) {
    SCOPED_TRACE(nth);
    ActiveLogGate gate;
    {
      MutexHold first;
      logtest::FailingAllocation fault(nth);
      try {
        EXPECT_TRUE(gate.Open(path.c_str(), &first));
        EXPECT_TRUE(first.valid());  // no one else has the folder's mutex open
      } catch (const std::bad_alloc&) {
      }
      bCompleted = !fault.failed();
    }
    // The gate keeps the mutex open; its ownership must be gone.
    EXPECT_TRUE(AnotherWriterCanHaveTheMutex(folder.path()));
  }
  EXPECT_TRUE(bCompleted);
}

}  // namespace
