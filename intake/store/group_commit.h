// Group commit: uploads that arrive while the store is busy with one group
// are committed together as the next, in one CommitGroup call (one
// transaction, one flush). One committer thread owns the calls; each caller
// gets its own upload's result, after its group committed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "store/store.h"

namespace intake {

struct GroupCommitOptions {
  RateLimit limit;
  // Uploads waiting for a group; past it an upload is refused at once as
  // unavailable, so a stalled disk cannot grow the queue without bound.
  std::size_t max_queued_uploads = 4096;
  // A group ends at whichever comes first, so one transaction (and the
  // uploads waiting on it) stays short.
  std::size_t max_group_uploads = 256;
  std::uint64_t max_group_items = 200'000;
  // The time of receipt given to each group; the system clock when empty.
  std::function<UnixSeconds()> clock;
};

struct GroupCommitStats {
  std::uint64_t groups = 0;
  std::uint64_t uploads = 0;  // uploads / groups is the mean group size
};

// How long a client refused by a full queue or a stopped committer waits.
inline constexpr std::uint32_t kQueueFullRetryAfterSeconds = 1;

class GroupCommitter {
 public:
  using Done = std::function<void(const CommitResult&)>;

  // `store` must outlive the committer.
  GroupCommitter(Store& store, GroupCommitOptions options);
  GroupCommitter(const GroupCommitter&) = delete;
  GroupCommitter& operator=(const GroupCommitter&) = delete;
  ~GroupCommitter();  // Stop()

  // Queues `upload`, which must stay alive until `done` has run. `done` runs
  // once: on the committer thread after the upload's group, or on the
  // caller's thread at once (kUnavailable) when the queue is full or the
  // committer stopped. It must not throw and should not block for long.
  void Submit(const FoldedUpload& upload, Done done);

  // Submit, and wait for the result.
  CommitResult Commit(const FoldedUpload& upload);

  // Takes no more uploads, commits every queued one, and joins the thread.
  // Safe to call more than once.
  void Stop();

  GroupCommitStats Stats() const;

 private:
  struct Pending {
    const FoldedUpload* upload;
    Done done;
  };

  void Run();
  std::deque<Pending> TakeGroup();  // with m_mutex held

  Store& m_store;
  GroupCommitOptions m_options;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Pending> m_queue;
  bool m_stopping = false;
  GroupCommitStats m_stats;
  std::once_flag m_join_once;
  std::thread m_thread;  // last: starts after every member it reads
};

}  // namespace intake
