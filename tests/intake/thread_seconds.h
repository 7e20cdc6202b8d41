// This thread's CPU time, for the tests' time bounds: the test machines are
// shared, so wall time says little.
#pragma once

#include <time.h>

namespace intake::testing {

inline double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace intake::testing
