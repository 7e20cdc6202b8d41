// Prints the PostgreSQL store's own commit rate: typical uploads (20 items
// of a few thousand distinct errors, one new client each) in groups of 1, 8
// and 16, then one full-size upload of 91,000 distinct items. Usage:
//   intake_pg_commit_rate postgresql://... [typical|full|open]
// on a scratch database (it writes); the second argument runs one part.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "store/store.h"
#include "store/store_rate.h"

using namespace intake;

namespace {

FoldedItem Item(int n) {
  FoldedItem item;
  item.key = {"5.2.0." + std::to_string(n % 4),
              n % 3 == 0 ? "Warning" : "Error",
              10000 + n,
              "The operation on C:\\Program Files\\Suite\\module" + std::to_string(n) +
                  ".dll did not complete: the device is not ready (" + std::to_string(n) + ")",
              n % 2 == 0 ? std::optional<std::string>("0x8007" + std::to_string(n)) : std::nullopt,
              "5.2.0.1",
              "5.2.0.7"};
  item.count = 1 + n % 5;
  return item;
}

std::vector<FoldedUpload> TypicalUploads(int count, int first, std::mt19937& random) {
  std::uniform_int_distribution<int> pick(0, 2999);
  std::vector<FoldedUpload> uploads(count);
  for (int i = 0; i < count; ++i) {
    FoldedUpload& upload = uploads[i];
    upload.key = "typical-" + std::to_string(first + i);
    upload.client = "client-" + std::to_string(first + i);
    upload.bytes = 5000;
    upload.product_versions = {"5.2.0.1"};
    for (int n = 0; n < 20; ++n) upload.items.push_back(Item(pick(random)));
  }
  return uploads;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string part = argc == 3 ? argv[2] : "";
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s postgresql://... [typical|full|open]\n", argv[0]);
    return 2;
  }
  std::string error;
  auto store = OpenStore(argv[1], &error);
  if (!store) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (part == "open") return 0;  // the schema only
  const UnixSeconds now = std::time(nullptr);
  std::mt19937 random(7);
  int next = 0;
  for (std::size_t group : {1, 8, 16}) {
    if (part == "full") break;
    const int count = group == 1 ? 1000 : 4000;
    const auto uploads = TypicalUploads(count, next, random);
    next += count;
    const StoreRate rate = MeasureStoreRate(*store, uploads, group, now);
    std::printf("typical, group of %2zu: %6.0f uploads/s, %8.0f items/s (%llu accepted)\n", group,
                rate.UploadsPerSecond(), rate.ItemsPerSecond(),
                static_cast<unsigned long long>(rate.accepted));
  }
  for (const char* pass : {"new items", "known items"}) {
    if (part == "typical") break;
    std::vector<FoldedUpload> full(1);
    full[0].key = std::string("full-size-") + pass;
    full[0].client = std::string("client-full-") + pass;
    full[0].bytes = 9'000'000;
    full[0].product_versions = {"5.2.0.1"};
    for (int n = 0; n < 91'000; ++n) full[0].items.push_back(Item(100'000 + n));
    const StoreRate rate = MeasureStoreRate(*store, full, 1, now);
    std::printf("full-size upload of 91,000 items (%s): %.2f s (%llu accepted)\n", pass,
                rate.seconds, static_cast<unsigned long long>(rate.accepted));
  }
  return 0;
}
