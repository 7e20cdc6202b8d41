#include "contract/parse_budget.h"

#include <pugixml.hpp>

#include <cstdlib>

namespace intake {

namespace {

thread_local ScopedParseBudget* t_budget = nullptr;

// Frees are not counted: the parser frees nothing before its document goes,
// and the document lives inside the budget's scope.
void ParseDeallocate(void* block) { std::free(block); }

}  // namespace

void* ParseAllocate(std::size_t size) {
  ScopedParseBudget* budget = t_budget;
  if (budget != nullptr) {
    if (size > budget->m_limit - budget->m_taken) {
      budget->m_exhausted = true;
      return nullptr;
    }
    budget->m_taken += size;
  }
  return std::malloc(size);
}

ScopedParseBudget::ScopedParseBudget(std::size_t bytes) : m_limit(bytes), m_outer(t_budget) {
  t_budget = this;
}

ScopedParseBudget::~ScopedParseBudget() { t_budget = m_outer; }

void InstallParseAllocator() {
  // Once, before any document exists: a block must be freed by the pair that
  // allocated it (malloc and free on both sides here, so either way is safe).
  static const bool installed = [] {
    pugi::set_memory_management_functions(ParseAllocate, ParseDeallocate);
    return true;
  }();
  (void)installed;
}

}  // namespace intake
