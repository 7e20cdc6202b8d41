#include "fold/fold.h"

#include <algorithm>
#include <functional>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "fold/account_loss.h"
#include "fold/user_paths.h"

namespace intake {

namespace {

// The index of rows holds their positions; hash and equality look at the
// rows' keys.
struct RowHash {
  const std::vector<FoldedItem>& rows;
  std::size_t operator()(std::size_t row) const noexcept {
    const ItemKey& key = rows[row].key;
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

struct RowEqual {
  const std::vector<FoldedItem>& rows;
  bool operator()(std::size_t a, std::size_t b) const { return rows[a].key == rows[b].key; }
};

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

// One body for both: `Taken` copies a text of a const upload and moves one
// of an upload given away.
template <typename UploadRef>
FoldedUpload FoldUpload(UploadRef&& upload, const FoldOptions& options) {
  constexpr bool kGiven = !std::is_const_v<std::remove_reference_t<UploadRef>>;
  auto taken = [](auto& text) -> std::string {
    if constexpr (kGiven) {
      return std::move(text);
    } else {
      return text;
    }
  };
  auto scrubbed = [&](auto& text) -> std::string {
    return options.keep_user_paths ? taken(text) : WithoutUserNames(text);
  };
  FoldedUpload folded;
  folded.key = taken(upload.key);
  folded.client = taken(upload.client);
  folded.bytes = upload.bytes;
  const std::vector<FoldedItem>& rows = folded.items;
  std::unordered_set<std::size_t, RowHash, RowEqual> index(0, RowHash{rows}, RowEqual{rows});
  for (auto& document : upload.documents) {
    NoteProductVersion(folded.product_versions, document.product_ver);
    for (auto& item : document.items) {
      if (const std::optional<LossCause> cause = AccountCause(item)) {
        AddLoss(folded.losses, *cause, document.product_ver, RecordsLost(*cause, item));
      }
      ItemKey key{document.product_ver,
                  taken(item.kind),
                  item.error_code,
                  scrubbed(item.message),
                  item.value ? std::optional(scrubbed(*item.value)) : std::nullopt,
                  taken(item.dll_ver),
                  taken(item.app_ver)};
      // The row goes in first; the index keeps it only when it is new, so
      // each key is held once.
      folded.items.push_back({std::move(key), item.count});
      const auto [at, inserted] = index.insert(folded.items.size() - 1);
      if (!inserted) {
        FoldedItem& row = folded.items[*at];
        row.count = SaturatingAdd(row.count, item.count);
        folded.items.pop_back();
      }
    }
  }
  return folded;
}

}  // namespace

FoldedUpload Fold(const Upload& upload, const FoldOptions& options) {
  return FoldUpload(upload, options);
}

FoldedUpload Fold(Upload&& upload, const FoldOptions& options) {
  return FoldUpload(upload, options);
}

}  // namespace intake
