// A keyed hash for the report's indexes of log texts. The texts come from the
// pending log, which any process of the user can write: under a hash anyone
// can compute, texts chosen to share one value turn each lookup into a walk
// over all of them. A key drawn once per process keeps the values unknown.
// Platform-neutral.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace suite {

struct TextHashKey {
  std::uint64_t k0;
  std::uint64_t k1;
};

// This process's key: drawn from the system's random source on first use and
// the same for the rest of the process's life. Safe from any thread.
const TextHashKey& ProcessTextHashKey();

// SipHash-1-3 of `bytes` bytes at `data`.
std::uint64_t SipHash13(const TextHashKey& key, const void* data, std::size_t bytes);

// The hash of an unordered container of texts.
class KeyedTextHash {
 public:
  explicit KeyedTextHash(const TextHashKey& key = ProcessTextHashKey()) : m_key(key) {}

  std::size_t operator()(std::u16string_view text) const { return Of(text); }
  std::size_t operator()(std::wstring_view text) const { return Of(text); }

  template <typename Char>
  std::size_t Of(std::basic_string_view<Char> text) const {
    return static_cast<std::size_t>(SipHash13(m_key, text.data(), text.size() * sizeof(Char)));
  }

 private:
  TextHashKey m_key;
};

}  // namespace suite
