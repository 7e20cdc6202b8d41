#include "store/store_rate.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace intake {

StoreRate MeasureStoreRate(Store& store, const std::vector<FoldedUpload>& uploads,
                           std::size_t group_size, UnixSeconds now) {
  const RateLimit unlimited{std::numeric_limits<std::uint32_t>::max()};
  group_size = std::max<std::size_t>(group_size, 1);
  StoreRate rate;
  std::vector<const FoldedUpload*> group;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t first = 0; first < uploads.size(); first += group_size) {
    group.clear();
    const std::size_t end = std::min(uploads.size(), first + group_size);
    for (std::size_t i = first; i < end; ++i) group.push_back(&uploads[i]);
    const auto results = store.CommitGroup(group, now, unlimited);
    ++rate.groups;
    for (std::size_t i = 0; i < results.size(); ++i) {
      if (results[i].outcome != CommitOutcome::kAccepted) continue;
      ++rate.accepted;
      rate.items += group[i]->items.size();
    }
  }
  rate.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return rate;
}

}  // namespace intake
