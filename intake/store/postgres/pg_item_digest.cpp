#include "store/postgres/pg_item_digest.h"

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <string_view>

namespace intake::pg {
namespace {

void AddField(std::string* buffer, std::string_view field) {
  std::uint64_t size = field.size();
  for (int i = 0; i < 8; ++i) {
    *buffer += static_cast<char>(size & 0xFF);
    size >>= 8;
  }
  *buffer += field;
}

}  // namespace

std::string ItemDigestHex(const ItemKey& key) {
  std::string buffer;
  AddField(&buffer, key.product_ver);
  AddField(&buffer, key.kind);
  AddField(&buffer, std::to_string(key.error_code));
  AddField(&buffer, key.message);
  buffer += key.value ? '\1' : '\0';
  AddField(&buffer, key.value.value_or(std::string()));
  AddField(&buffer, key.dll_ver);
  AddField(&buffer, key.app_ver);
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  EVP_Digest(buffer.data(), buffer.size(), digest.data(), &length, EVP_sha256(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

}  // namespace intake::pg
