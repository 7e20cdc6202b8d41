// The store's own rate: prepared uploads written by a plain loop, a given
// number per CommitGroup (one transaction, the store's own durability), with
// no HTTP and no parsing in the way. The benchmark prints it beside the
// service's rate as the limit the service can approach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "store/store.h"

namespace intake {

struct StoreRate {
  double seconds = 0;
  std::uint64_t accepted = 0;  // uploads the store accepted
  std::uint64_t items = 0;     // their folded items
  std::uint64_t groups = 0;
  double UploadsPerSecond() const { return seconds > 0 ? accepted / seconds : 0; }
  double ItemsPerSecond() const { return seconds > 0 ? items / seconds : 0; }
};

// Commits `uploads` in order, `group_size` at a time, received at `now`.
// The rate limit is lifted: the figure is the store's, not the policy's.
StoreRate MeasureStoreRate(Store& store, const std::vector<FoldedUpload>& uploads,
                           std::size_t group_size, UnixSeconds now);

}  // namespace intake
