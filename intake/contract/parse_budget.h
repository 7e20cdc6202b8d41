// A bound on what the XML parser may allocate while it reads one body. Its
// tree costs tens of bytes per element and attribute, so a body of nothing but
// tiny elements would take many times its own size; a report's items never
// come close. The parser's allocations go through this process-wide hook,
// which refuses them past the budget of the parse running on this thread, so
// the parser fails with "out of memory" instead of the service.
#pragma once

#include <cstddef>

namespace intake {

class ScopedParseBudget {
 public:
  explicit ScopedParseBudget(std::size_t bytes);
  ~ScopedParseBudget();
  ScopedParseBudget(const ScopedParseBudget&) = delete;
  ScopedParseBudget& operator=(const ScopedParseBudget&) = delete;

  bool Exhausted() const { return m_exhausted; }
  std::size_t Taken() const { return m_taken; }

 private:
  friend void* ParseAllocate(std::size_t size);
  std::size_t m_limit;
  std::size_t m_taken = 0;
  bool m_exhausted = false;
  ScopedParseBudget* m_outer;
};

// Installs the hook; call before the first parse (ParseReportBody does).
void InstallParseAllocator();

}  // namespace intake
