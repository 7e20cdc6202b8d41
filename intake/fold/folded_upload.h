// An upload folded into the rows the store keeps: one per distinct item,
// with the account records' losses beside them.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace intake {

// What makes an item distinct across uploads and clients. The report carries
// no application or module names and no times.
struct ItemKey {
  std::string product_ver;
  std::string kind;
  std::int32_t error_code = 0;
  std::string message;
  std::optional<std::string> value;
  std::string dll_ver;
  std::string app_ver;
  auto operator<=>(const ItemKey&) const = default;
};

struct FoldedItem {
  ItemKey key;
  std::uint64_t count = 0;  // the sum of the upload's equal elements
};

// The account causes a client writes when it could not keep records.
enum class LossCause : int {
  kDayLogCap = 10901,
  kDropped = 10902,
  kPendingFull = 10903,
  kTornRecord = 10904,
};

struct LossRow {
  LossCause cause = LossCause::kDropped;
  std::string product_ver;
  std::uint64_t records_lost = 0;
};

struct FoldedUpload {
  std::string key;
  std::string client;
  std::uint64_t bytes = 0;
  std::vector<std::string> product_versions;  // in order of first appearance
  std::vector<FoldedItem> items;              // accounts included, as any item
  std::vector<LossRow> losses;                // one per cause and product version
};

}  // namespace intake
