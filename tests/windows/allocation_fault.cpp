#include "allocation_fault.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<DWORD> g_armedThread{0};
std::atomic<int> g_nUntilFailure{0};
std::atomic<bool> g_bFailed{false};

}  // namespace

// The program's one allocation function; array and nothrow forms come here
// too. Deleting stays the runtime's, which frees what malloc gave.
void* operator new(std::size_t nBytes) {
  if (g_nUntilFailure.load() > 0 && g_armedThread.load() == GetCurrentThreadId() &&
      --g_nUntilFailure == 0) {
    g_bFailed = true;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(nBytes != 0 ? nBytes : 1)) return p;
  throw std::bad_alloc();
}

namespace logtest {

FailingAllocation::FailingAllocation(int nth) noexcept {
  g_bFailed = false;
  g_armedThread = GetCurrentThreadId();
  g_nUntilFailure = nth;
}

FailingAllocation::~FailingAllocation() { g_nUntilFailure = 0; }

bool FailingAllocation::failed() const noexcept { return g_bFailed.load(); }

}  // namespace logtest
