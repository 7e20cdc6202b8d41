// The bytes of request bodies held in memory at once, bounded by
// --max-inflight-bytes: a body is admitted before it is read, or refused with
// 503, so memory stays within a fixed sum plus a multiple of this bound.
// Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace intake {

class InflightBudget {
 public:
  explicit InflightBudget(std::uint64_t limit) : m_limit(limit) {}

  // A share of the budget, given back when the owner goes.
  class Reservation {
   public:
    Reservation() = default;
    Reservation(Reservation&& other) noexcept
        : m_budget(std::exchange(other.m_budget, nullptr)), m_bytes(other.m_bytes) {}
    Reservation& operator=(Reservation&& other) noexcept {
      if (this != &other) {
        reset();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = other.m_bytes;
      }
      return *this;
    }
    ~Reservation() { reset(); }
    void reset() {
      if (m_budget) m_budget->m_used.fetch_sub(m_bytes);
      m_budget = nullptr;
    }
    explicit operator bool() const { return m_budget != nullptr; }

   private:
    friend class InflightBudget;
    Reservation(InflightBudget* budget, std::uint64_t bytes) : m_budget(budget), m_bytes(bytes) {}
    InflightBudget* m_budget = nullptr;
    std::uint64_t m_bytes = 0;
  };

  // An empty reservation when the bytes would pass the limit.
  Reservation TryReserve(std::uint64_t bytes) {
    std::uint64_t used = m_used.load();
    do {
      if (bytes > m_limit || used > m_limit - bytes) return {};
    } while (!m_used.compare_exchange_weak(used, used + bytes));
    return Reservation(this, bytes);
  }

  std::uint64_t used() const { return m_used.load(); }

 private:
  const std::uint64_t m_limit;
  std::atomic<std::uint64_t> m_used{0};
};

}  // namespace intake
