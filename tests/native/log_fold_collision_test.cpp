// The fold's indexes against texts crafted to share one value of the
// standard library's own string hash: with a hash anyone can compute, such
// a log turns each lookup into a walk over every item seen so far.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report/log_fold.h"

using namespace suite;

namespace {

#if defined(__GLIBCXX__)

// libstdc++'s _Hash_bytes with std::hash's seed. Each text is eight UTF-16
// units: the first half tells the texts apart, the second half is solved so
// that the hash's state after the last block is the same for every text.
template <typename Word>
Word Inverse(Word odd) {
  Word inverse = odd;
  for (int i = 0; i < 6; ++i) inverse *= 2 - odd * inverse;
  return inverse;
}

std::u16string FromWords(const void* words) {
  std::u16string text(8, u'\0');
  std::memcpy(text.data(), words, 16);
  return text;
}

std::vector<std::u16string> CollidingTexts(int count) {
  std::vector<std::u16string> texts;
  constexpr std::size_t kBytes = 16;
  const std::size_t seed = 0xc70f6907u;
  for (int i = 0; i < count; ++i) {
    if constexpr (sizeof(std::size_t) == 8) {
      // Two 8-byte blocks: h = (h ^ mix(block)) * mul, mix(x) = f(x * mul) * mul.
      constexpr std::uint64_t mul = (std::uint64_t{0xc6a4a793} << 32) + 0x5bd1e995;
      const auto shiftMix = [](std::uint64_t v) { return v ^ (v >> 47); };
      const std::uint64_t inv = Inverse(mul);
      std::uint64_t blocks[2] = {0x0061006100610061ull + static_cast<std::uint64_t>(i), 0};
      std::uint64_t h = seed ^ (kBytes * mul);
      h = (h ^ shiftMix(blocks[0] * mul) * mul) * mul;
      const std::uint64_t wanted = 0x1234567887654321ull * inv;  // (h ^ mix(last)) = wanted
      blocks[1] = shiftMix((h ^ wanted) * inv) * inv;
      texts.push_back(FromWords(blocks));
    } else {
      // Four 4-byte blocks: h = h * m ^ mix(block), mix(k) = g(k * m) * m.
      constexpr std::uint32_t m = 0x5bd1e995;
      const auto mix = [](std::uint32_t k) {
        k *= m;
        k ^= k >> 24;
        return k * m;
      };
      const std::uint32_t inv = Inverse(m);
      std::uint32_t blocks[4] = {0x00610061u + static_cast<std::uint32_t>(i), 0x00620062u,
                                 0x00630063u, 0};
      std::uint32_t h = static_cast<std::uint32_t>(seed ^ kBytes);
      for (int b = 0; b < 3; ++b) h = h * m ^ mix(blocks[b]);
      std::uint32_t k = (h * m ^ 0x12345678u) * inv;
      k ^= k >> 24;
      blocks[3] = k * inv;
      texts.push_back(FromWords(blocks));
    }
  }
  return texts;
}

std::vector<std::u16string> OrdinaryTexts(int count) {
  std::vector<std::u16string> texts;
  for (int i = 0; i < count; ++i) {
    const std::string n = "Failed to open item " + std::to_string(i);
    texts.emplace_back(n.begin(), n.end());
  }
  return texts;
}

// The best of up to three folds of one record per text, in seconds; a fold
// within `enough` ends the runs.
double FoldSeconds(const std::vector<std::u16string>& messages, double enough = 0) {
  double best = 1e9;
  for (int run = 0; run < 3 && best > enough; ++run) {
    ProductList products;
    const auto start = std::chrono::steady_clock::now();
    {
      LogFold fold(products);
      LogRecordView record;
      record.nKind = 1;
      record.productVersion = u"2.1";
      record.appName = u"a.exe";
      record.moduleName = u"m.dll";
      for (const std::u16string& message : messages) {
        record.message = message;
        fold.Add(record);
      }
    }
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_EQ(products.at(0)->vecApps.at(0)->vecModules.at(0)->vecItems.size(), messages.size());
  }
  return best;
}

TEST(LogFoldCollisions, TextsSharingOneStandardHashFoldAsFastAsOrdinaryOnes) {
  constexpr int kTexts = 40000;
  const std::vector<std::u16string> colliding = CollidingTexts(kTexts);
  const std::hash<std::u16string_view> standard;
  ASSERT_TRUE(std::all_of(colliding.begin(), colliding.end(), [&](const std::u16string& t) {
    return standard(t) == standard(colliding.front());
  })) << "the crafted texts must collide under this library's hash";

  const double ordinary = FoldSeconds(OrdinaryTexts(kTexts));
  const double bound = 4 * ordinary + 0.05;
  const double crafted = FoldSeconds(colliding, bound);
  RecordProperty("ordinary_seconds", std::to_string(ordinary));
  RecordProperty("colliding_seconds", std::to_string(crafted));
  EXPECT_LT(crafted, bound) << "ordinary " << ordinary << " s";
}

#endif

}  // namespace
