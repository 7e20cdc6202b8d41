// The store of the intake: one interface, with SQLite ("sqlite:PATH") and
// PostgreSQL ("postgresql://...") behind it. Every method may be called from
// any thread; a back-end serialises what it must. No method throws: failures
// come back as values the HTTP face maps to answers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fold/folded_upload.h"

namespace intake {

using UnixSeconds = std::int64_t;  // UTC, seconds since 1970

struct RateLimit {
  std::uint32_t uploads_per_client_per_hour = 60;
};

enum class CommitOutcome {
  kAccepted,     // the upload's rows and its key are committed durably
  kDuplicate,    // a key committed earlier: nothing counted again
  kRateLimited,  // a new upload over the client's hourly limit; nothing committed
  kUnavailable,  // the store could not commit; nothing committed
};

struct CommitResult {
  CommitOutcome outcome = CommitOutcome::kUnavailable;
  std::uint32_t retry_after_seconds = 0;  // for kRateLimited and kUnavailable, at most 3600
};

// Read side, for the read API (and pages).
enum class ItemSort { kCount, kClients, kLastSeen };

struct ItemQuery {
  std::optional<std::string> product;
  std::optional<std::string> kind;
  std::optional<std::string> text;  // matched against message and value
  ItemSort sort = ItemSort::kCount;
  std::uint32_t limit = 50;
  std::optional<std::string> after;  // an opaque cursor from ItemPage::next
};

struct ItemSummary {
  std::int64_t id = 0;
  ItemKey key;
  std::uint64_t count = 0;
  std::uint64_t clients = 0;
  UnixSeconds first_seen = 0;
  UnixSeconds last_seen = 0;
};

struct DayCount {
  std::string day;  // "YYYY-MM-DD", UTC day of receipt
  std::uint64_t count = 0;
};

struct ItemDetail {
  ItemSummary summary;
  std::vector<DayCount> days;  // oldest first
};

struct ItemPage {
  std::vector<ItemSummary> items;
  std::optional<std::string> next;  // cursor of the next page, when there is one
};

struct LossDay {
  LossCause cause = LossCause::kDropped;
  std::string product_ver;
  std::string day;
  std::uint64_t records_lost = 0;
};

struct UploadReceipt {
  std::string key;
  std::string client;
  UnixSeconds received = 0;
  std::uint64_t items = 0;
  std::uint64_t bytes = 0;
  std::vector<std::string> product_versions;
};

template <typename T>
struct ReadResult {
  bool available = false;  // false: the store did not answer
  T value{};
};

class Store {
 public:
  virtual ~Store() = default;

  // Commits each upload of a group in one transaction and one flush, in
  // order; results[i] belongs to uploads[i]. A duplicate is recognised before
  // the rate check. Two uploads of one key in a group count once.
  virtual std::vector<CommitResult> CommitGroup(const std::vector<const FoldedUpload*>& uploads,
                                                UnixSeconds now, const RateLimit& limit) = 0;

  virtual ReadResult<ItemPage> ListItems(const ItemQuery& query) = 0;
  virtual ReadResult<std::optional<ItemDetail>> GetItem(std::int64_t id) = 0;
  virtual ReadResult<std::vector<LossDay>> ListLosses(
      const std::optional<std::string>& product) = 0;
  virtual ReadResult<std::optional<UploadReceipt>> GetUpload(const std::string& key) = 0;

  // True when the store answers a trivial query now.
  virtual bool Healthy() = 0;

  // Drops day rows older than keep_days; upload keys are kept at least
  // kKeepKeysDays whatever keep_days says.
  virtual bool Prune(UnixSeconds now, std::uint32_t keep_days) = 0;
};

// A late retry must still be a duplicate: clients keep a pending log far
// shorter than this.
inline constexpr std::uint32_t kKeepKeysDays = 400;

// Opens "sqlite:PATH" or "postgresql://..."; creates or upgrades the schema.
// Null with a one-line reason in *error when the URL or the store is unusable.
std::unique_ptr<Store> OpenStore(const std::string& url, std::string* error);

}  // namespace intake
