// Looks at the log files while a kill run goes on. A writer killed in the
// middle of its write may leave a torn record at the end of error.Profile,
// which the next writer cuts off; damage with records behind it would stay,
// and so would a torn record carried into error.bf.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "run_context.h"

namespace stress {

using namespace suite;

class FileWatch {
 public:
  explicit FileWatch(const RunContext& run) : m_run(run) {}

  // Walks the files after the kill that `event` describes. False on damage
  // with records behind it that is still there when the file is read again.
  // Any thread may; one look at a time.
  bool Look(const std::wstring& event);
  // Walks the files once nothing runs: every file must read to its end.
  bool LookSettled();

  std::size_t looks() const { return m_nLooks; }
  std::size_t tornTails() const { return m_nTornTails; }
  std::size_t tornTailsInPending() const { return m_nTornTailsInPending; }

 private:
  const RunContext& m_run;
  std::mutex m_lock;
  std::size_t m_nLooks = 0;
  std::size_t m_nTornTails = 0;
  std::size_t m_nTornTailsInPending = 0;
  std::size_t m_nNotes = 0;
};

}  // namespace stress
