#include "store_test_uploads.h"

#include <algorithm>

namespace intake::test {

FoldedItem TestItem(std::string message, std::uint64_t count, std::optional<std::string> value,
                    std::string product, std::string kind) {
  FoldedItem item;
  item.key = {std::move(product), std::move(kind), -2147024894, std::move(message),
              std::move(value),   "3.1.0.7",       "2.4.0.1"};
  item.count = count;
  return item;
}

FoldedUpload TestUpload(std::string key, std::string client, std::vector<FoldedItem> items,
                        std::vector<LossRow> losses) {
  FoldedUpload upload;
  upload.key = std::move(key);
  upload.client = std::move(client);
  upload.bytes = 100 + 200 * items.size();
  for (const FoldedItem& item : items) {
    auto& versions = upload.product_versions;
    if (std::find(versions.begin(), versions.end(), item.key.product_ver) == versions.end()) {
      versions.push_back(item.key.product_ver);
    }
  }
  upload.items = std::move(items);
  upload.losses = std::move(losses);
  return upload;
}

}  // namespace intake::test
