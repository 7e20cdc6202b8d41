#include "keyed_text_hash.h"

#include <chrono>
#include <random>

namespace suite {

namespace {

std::uint64_t RotateLeft(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void Round() {
    v0 += v1;
    v1 = RotateLeft(v1, 13);
    v1 ^= v0;
    v0 = RotateLeft(v0, 32);
    v2 += v3;
    v3 = RotateLeft(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = RotateLeft(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = RotateLeft(v1, 17);
    v1 ^= v2;
    v2 = RotateLeft(v2, 32);
  }
  void Compress(std::uint64_t block) {
    v3 ^= block;
    Round();
    v0 ^= block;
  }
};

// Little-endian whatever the host, so a text hashes alike everywhere.
std::uint64_t LoadLittleEndian(const unsigned char* p, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return value;
}

TextHashKey DrawKey() {
  std::uint64_t words[2] = {};
  try {
    std::random_device source;
    for (std::uint64_t& word : words) {
      word = (static_cast<std::uint64_t>(source()) << 32) ^ source();
    }
  } catch (...) {
    // No random source: the clock and this process's addresses still differ
    // from one process to the next, which is what keeps the key unknown.
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    words[0] = static_cast<std::uint64_t>(ticks);
    static const int kInImage = 0;
    words[1] = reinterpret_cast<std::uintptr_t>(&words) ^
               reinterpret_cast<std::uintptr_t>(&kInImage) << 16;
  }
  return {words[0], words[1]};
}

}  // namespace

const TextHashKey& ProcessTextHashKey() {
  static const TextHashKey key = DrawKey();
  return key;
}

std::uint64_t SipHash13(const TextHashKey& key, const void* data, std::size_t bytes) {
  SipState s{key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull,
             key.k0 ^ 0x6c7967656e657261ull, key.k1 ^ 0x7465646279746573ull};
  const auto* p = static_cast<const unsigned char*>(data);
  const std::size_t whole = bytes - bytes % 8;
  for (std::size_t i = 0; i < whole; i += 8) s.Compress(LoadLittleEndian(p + i, 8));
  s.Compress((static_cast<std::uint64_t>(bytes) << 56) | LoadLittleEndian(p + whole, bytes % 8));
  s.v2 ^= 0xff;
  s.Round();
  s.Round();
  s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace suite
