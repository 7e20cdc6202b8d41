#include "fold/fold.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <utility>

#include "fold/account_loss.h"
#include "fold/user_paths.h"

namespace intake {

namespace {

struct ItemKeyHash {
  std::size_t operator()(const ItemKey& key) const noexcept {
    const std::hash<std::string> text;
    std::size_t seed = std::hash<std::int32_t>()(key.error_code);
    auto mix = [&seed](std::size_t value) {
      seed ^= value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    };
    for (const std::string* part :
         {&key.product_ver, &key.kind, &key.message, &key.dll_ver, &key.app_ver}) {
      mix(text(*part));
    }
    mix(key.value ? text(*key.value) + 1 : 0);
    return seed;
  }
};

std::string Scrubbed(const std::string& text, const FoldOptions& options) {
  return options.keep_user_paths ? text : WithoutUserNames(text);
}

void NoteProductVersion(std::vector<std::string>& versions, const std::string& version) {
  if (std::find(versions.begin(), versions.end(), version) == versions.end()) {
    versions.push_back(version);
  }
}

void AddLoss(std::vector<LossRow>& losses, LossCause cause, const std::string& product_ver,
             std::uint64_t records) {
  // At most four causes per product version: a scan is cheaper than a map.
  for (LossRow& row : losses) {
    if (row.cause == cause && row.product_ver == product_ver) {
      row.records_lost = SaturatingAdd(row.records_lost, records);
      return;
    }
  }
  losses.push_back({cause, product_ver, records});
}

}  // namespace

FoldedUpload Fold(const Upload& upload, const FoldOptions& options) {
  FoldedUpload folded;
  folded.key = upload.key;
  folded.client = upload.client;
  folded.bytes = upload.bytes;
  std::unordered_map<ItemKey, std::size_t, ItemKeyHash> index_of;
  for (const ReportDocument& document : upload.documents) {
    NoteProductVersion(folded.product_versions, document.product_ver);
    for (const ReportItem& item : document.items) {
      if (const std::optional<LossCause> cause = AccountCause(item)) {
        AddLoss(folded.losses, *cause, document.product_ver, RecordsLost(*cause, item));
      }
      ItemKey key{document.product_ver,
                  item.kind,
                  item.error_code,
                  Scrubbed(item.message, options),
                  item.value ? std::optional(Scrubbed(*item.value, options)) : std::nullopt,
                  item.dll_ver,
                  item.app_ver};
      const auto [at, inserted] = index_of.try_emplace(std::move(key), folded.items.size());
      if (inserted) {
        folded.items.push_back({at->first, item.count});
      } else {
        FoldedItem& row = folded.items[at->second];
        row.count = SaturatingAdd(row.count, item.count);
      }
    }
  }
  return folded;
}

}  // namespace intake
