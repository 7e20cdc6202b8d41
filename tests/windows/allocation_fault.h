// Allocations of the capture tests' own program that fail on demand: its
// operator new throws std::bad_alloc for the armed allocation of the thread
// that armed it. Code the program links (the writers' gate, a writer's turn)
// meets it; the library loaded as a DLL keeps its own allocator.
#pragma once

namespace logtest {

// While it lives, the `nth` allocation of this thread from now on fails
// (1: the next one).
class FailingAllocation {
 public:
  explicit FailingAllocation(int nth) noexcept;
  ~FailingAllocation();
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;

  // True once the armed allocation has failed.
  bool failed() const noexcept;
};

}  // namespace logtest
