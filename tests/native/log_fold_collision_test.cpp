// The fold's indexes against texts crafted to share one value of the
// standard library's own string hash, which anyone can compute.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "report/log_fold.h"

using namespace suite;

namespace {

#if defined(__GLIBCXX__) && SIZE_MAX == UINT64_MAX

// libstdc++'s 64-bit _Hash_bytes over two 8-byte blocks: the first tells the
// texts apart, the second is solved so the state after it is always the same.
std::u16string CollidingText(std::uint64_t n) {
  constexpr std::uint64_t mul = 0xc6a4a7935bd1e995ull, seed = 0xc70f6907ull;
  std::uint64_t inv = mul;
  for (int i = 0; i < 6; ++i) inv *= 2 - mul * inv;
  const auto shiftMix = [](std::uint64_t v) { return v ^ (v >> 47); };  // its own inverse
  std::uint64_t blocks[2] = {0x0061006100610061ull + n, 0};
  const std::uint64_t h = (seed ^ (16 * mul) ^ shiftMix(blocks[0] * mul) * mul) * mul;
  blocks[1] = shiftMix((h ^ 0x1234567887654321ull * inv) * inv) * inv;
  std::u16string text(8, u'\0');
  std::memcpy(text.data(), blocks, 16);
  return text;
}

// The best of up to three folds of one record per text, in seconds; one
// within `enough` ends the runs.
double FoldSeconds(const std::vector<std::u16string>& messages, double enough = 0) {
  double best = 1e9;
  for (int run = 0; run < 3 && best > enough; ++run) {
    ProductList products;
    const auto start = std::chrono::steady_clock::now();
    LogFold fold(products);
    LogRecordView record;
    record.nKind = 1;
    for (const std::u16string& message : messages) {
      record.message = message;
      fold.Add(record);
    }
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_EQ(products.at(0)->vecApps.at(0)->vecModules.at(0)->vecItems.size(), messages.size());
  }
  return best;
}

TEST(LogFoldCollisions, TextsSharingOneStandardHashFoldAsFastAsOrdinaryOnes) {
  std::vector<std::u16string> colliding, ordinary;
  const std::hash<std::u16string_view> standard;
  for (std::uint64_t i = 0; i < 40000; ++i) {
    colliding.push_back(CollidingText(i));
    ASSERT_EQ(standard(colliding.back()), standard(colliding.front()));
    const std::string n = "Failed to open item " + std::to_string(i);
    ordinary.emplace_back(n.begin(), n.end());
  }
  const double bound = 4 * FoldSeconds(ordinary) + 0.05;
  EXPECT_LT(FoldSeconds(colliding, bound), bound);
}

#endif

}  // namespace
