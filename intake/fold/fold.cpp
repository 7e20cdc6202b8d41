#include "fold/fold.h"

#include <array>
#include <functional>
#include <type_traits>
#include <unordered_map>
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

// Product versions and loss rows by version: an upload may hold many
// documents, so neither is found by a scan.
class VersionRows {
 public:
  explicit VersionRows(FoldedUpload& folded) : m_folded(folded) {}

  void Note(const std::string& version) {
    if (m_loss_rows.try_emplace(version, kNoRows).second) {
      m_folded.product_versions.push_back(version);
    }
  }

  void AddLoss(LossCause cause, const std::string& version, std::uint64_t records) {
    std::size_t& row = m_loss_rows.try_emplace(version, kNoRows).first->second[CauseIndex(cause)];
    if (row == kNone) {
      row = m_folded.losses.size();
      m_folded.losses.push_back({cause, version, 0});
    }
    LossRow& loss = m_folded.losses[row];
    loss.records_lost = SaturatingAdd(loss.records_lost, records);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::array<std::size_t, 4> kNoRows = {kNone, kNone, kNone, kNone};

  static std::size_t CauseIndex(LossCause cause) {
    return static_cast<std::size_t>(static_cast<int>(cause) -
                                    static_cast<int>(LossCause::kDayLogCap));
  }

  FoldedUpload& m_folded;
  std::unordered_map<std::string, std::array<std::size_t, 4>> m_loss_rows;
};

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
  VersionRows versions(folded);
  for (auto& document : upload.documents) {
    versions.Note(document.product_ver);
    for (auto& item : document.items) {
      if (const std::optional<LossCause> cause = AccountCause(item)) {
        versions.AddLoss(*cause, document.product_ver, RecordsLost(*cause, item));
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
