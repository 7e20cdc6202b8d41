#include "store/group_commit.h"

#include <chrono>
#include <exception>
#include <future>
#include <vector>

namespace intake {
namespace {

UnixSeconds SystemNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void Answer(const GroupCommitter::Done& done, const CommitResult& result) noexcept {
  try {
    done(result);
  } catch (...) {
    // A caller's callback must not take the committer down with it.
  }
}

const CommitResult kRefused{CommitOutcome::kUnavailable, kQueueFullRetryAfterSeconds};

}  // namespace

GroupCommitter::GroupCommitter(Store& store, GroupCommitOptions options)
    : m_store(store), m_options(std::move(options)) {
  if (!m_options.clock) m_options.clock = SystemNow;
  if (m_options.max_group_uploads == 0) m_options.max_group_uploads = 1;
  m_thread = std::thread([this] { Run(); });
}

GroupCommitter::~GroupCommitter() { Stop(); }

void GroupCommitter::Submit(const FoldedUpload& upload, Done done) {
  {
    std::lock_guard lock(m_mutex);
    if (!m_stopping && m_queue.size() < m_options.max_queued_uploads) {
      m_queue.push_back({&upload, std::move(done)});
      m_wake.notify_one();
      return;
    }
  }
  Answer(done, kRefused);
}

CommitResult GroupCommitter::Commit(const FoldedUpload& upload) {
  std::promise<CommitResult> result;
  auto answered = result.get_future();
  Submit(upload, [&result](const CommitResult& r) { result.set_value(r); });
  return answered.get();
}

void GroupCommitter::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_one();
  std::call_once(m_join_once, [this] {
    if (m_thread.joinable()) m_thread.join();
  });
}

GroupCommitStats GroupCommitter::Stats() const {
  std::lock_guard lock(m_mutex);
  return m_stats;
}

std::deque<GroupCommitter::Pending> GroupCommitter::TakeGroup() {
  std::deque<Pending> group;
  std::uint64_t items = 0;
  while (!m_queue.empty() && group.size() < m_options.max_group_uploads) {
    const std::uint64_t next = m_queue.front().upload->items.size();
    // A single large upload still forms a group of its own.
    if (!group.empty() && items + next > m_options.max_group_items) break;
    items += next;
    group.push_back(std::move(m_queue.front()));
    m_queue.pop_front();
  }
  return group;
}

void GroupCommitter::Run() {
  for (;;) {
    std::deque<Pending> group;
    {
      std::unique_lock lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
      // Stopping drains: the loop ends only once the queue is empty.
      if (m_queue.empty()) return;
      group = TakeGroup();
    }
    std::vector<const FoldedUpload*> uploads;
    uploads.reserve(group.size());
    for (const Pending& pending : group) uploads.push_back(pending.upload);

    std::vector<CommitResult> results;
    try {
      results = m_store.CommitGroup(uploads, m_options.clock(), m_options.limit);
    } catch (...) {
      results.clear();  // the interface does not throw; a fault still answers
    }
    {
      // Counted before the answers, so a caller that has its answer sees
      // its group in the figures.
      std::lock_guard lock(m_mutex);
      ++m_stats.groups;
      m_stats.uploads += group.size();
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
      Answer(group[i].done, i < results.size() ? results[i] : kRefused);
    }
  }
}

}  // namespace intake
