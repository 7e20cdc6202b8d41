// When a kill run strikes: it waits for a child to report the phase it is
// after, then pauses for a random part of how long that phase lasts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <random>

#include "run_context.h"

namespace stress {

using namespace suite;

inline constexpr DWORD kPhaseBoundMs = 60000;

// Waits until the child reports `phase` or ends; false when it did neither
// in time or ended first.
bool AwaitPhase(const Child& child, std::int32_t phase, DWORD nBoundMs = kPhaseBoundMs);

// Sleeps the bulk and spins the rest, so that short pauses are random too.
void PauseMicros(std::int64_t nMicros);

// How long a phase lasts: learnt from a first round that is not killed and
// from the children that finish before their kill, and stretched by every
// kill that comes first, since phases run longer while the other lanes work.
// Kill moments are drawn across a quarter more than that, so that some
// children finish and teach it.
class PhaseLength {
 public:
  void Learn(std::int64_t nMicros);
  void Stretch() { m_nMicros *= 1.1; }
  std::int64_t Millis() const { return static_cast<std::int64_t>(m_nMicros / 1000); }
  std::int64_t Draw(std::mt19937& random) const;

 private:
  double m_nMicros = 1000;
  bool m_bLearnt = false;
};

}  // namespace stress
