// Folded uploads for the store's tests, built as the fold would build them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fold/folded_upload.h"

namespace intake::test {

// A test day: 2026-03-01 00:00:00 UTC.
inline constexpr std::int64_t kDay0 = 1772323200;

FoldedItem TestItem(std::string message, std::uint64_t count,
                    std::optional<std::string> value = std::nullopt,
                    std::string product = "1.0.0.0", std::string kind = "Error");

// An upload of `items` from `client`, with the items' product versions.
FoldedUpload TestUpload(std::string key, std::string client, std::vector<FoldedItem> items = {},
                        std::vector<LossRow> losses = {});

}  // namespace intake::test
