// The block of shared memory through which one child program of a stress run
// tells the driver how far it got. The driver creates it before the child
// starts and reads it after the child has ended, killed or not, so a child
// writes each figure only once the work it stands for is done.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "Win/unique_resource.h"

namespace stress {

using namespace suite;

inline constexpr int kMaxThreads = 16;
inline constexpr int kSlowIndexSlots = 16;

// One writer thread. nDone counts the logging calls that have returned: every
// record below it must be found somewhere, and none above it may be.
struct ThreadAccount {
  std::atomic<std::int32_t> nDone;
  std::atomic<std::int32_t> nMaxCallMs;
  // Calls that took at least the writers' wait bound, which may have dropped
  // their record; the indices of the first of them.
  std::atomic<std::int32_t> nSlowCalls;
  std::atomic<std::int32_t> slowIndex[kSlowIndexSlots];
};

enum ChildPhase : std::int32_t {
  kStarting = 0,
  // writer: library loaded, logging; loader: about to load the library;
  // sender: about to create the sender object
  kBegun = 1,
  // sender: the report text is on disk, MarkReportSent is next
  kDelivered = 2,
  // writer: every call returned; loader: loaded; sender: MarkReportSent returned
  kFinished = 3,
};

struct ChildBlock {
  std::atomic<std::int32_t> nPhase;
  std::atomic<std::int32_t> nResult;      // sender: GetReport's last result
  std::atomic<std::int32_t> nReports;     // sender loop: reports delivered
  std::atomic<std::int64_t> nWorkMicros;  // from kBegun to kFinished
  std::atomic<std::int64_t> nMarkMicros;  // sender: from kDelivered to kFinished
  ThreadAccount threads[kMaxThreads];
};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

// A named block, zero-filled when created; empty when it cannot be had.
class ChildBlockMapping {
 public:
  static ChildBlockMapping Create(const std::wstring& name);
  static ChildBlockMapping Open(const std::wstring& name);

  ChildBlock* get() const { return static_cast<ChildBlock*>(m_view.get()); }
  ChildBlock* operator->() const { return get(); }
  explicit operator bool() const { return m_view.valid(); }

 private:
  UniqueKernelHandle m_mapping;
  UniqueMappedView m_view;
};

// Microseconds on the performance counter, for phase times.
std::int64_t NowMicros();

}  // namespace stress
