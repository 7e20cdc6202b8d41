#include "kill_moments.h"

using namespace suite;

namespace stress {

bool AwaitPhase(const Child& child, std::int32_t phase, DWORD nBoundMs) {
  const std::int64_t nDeadline = NowMicros() + std::int64_t{nBoundMs} * 1000;
  while (child.block->nPhase < phase) {
    if (!child.process.Running() || NowMicros() > nDeadline) return child.block->nPhase >= phase;
    Sleep(0);
  }
  return true;
}

void PauseMicros(std::int64_t nMicros) {
  const std::int64_t nDeadline = NowMicros() + nMicros;
  if (nMicros > 3000) Sleep(static_cast<DWORD>((nMicros - 2000) / 1000));
  while (NowMicros() < nDeadline) YieldProcessor();
}

void PhaseLength::Learn(std::int64_t nMicros) {
  if (nMicros <= 0) return;  // a round that skipped the phase tells nothing
  const auto nNew = static_cast<double>(nMicros);
  m_nMicros = m_bLearnt ? 0.7 * m_nMicros + 0.3 * nNew : nNew;
  m_bLearnt = true;
}

std::int64_t PhaseLength::Draw(std::mt19937& random) const {
  return std::uniform_int_distribution<std::int64_t>(
      0, static_cast<std::int64_t>(m_nMicros * 1.25) + 1)(random);
}

}  // namespace stress
