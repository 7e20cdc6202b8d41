#include "store/item_key_hash.h"

#include <openssl/evp.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace intake {
namespace {

void AppendNumber(std::string& out, std::uint64_t n, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xff));
}

void AppendField(std::string& out, std::string_view field) {
  AppendNumber(out, field.size(), 8);
  out.append(field);
}

}  // namespace

ItemKeyHash HashItemKey(const ItemKey& key) {
  std::string encoded;
  encoded.reserve(64 + key.product_ver.size() + key.kind.size() + key.message.size() +
                  (key.value ? key.value->size() : 0) + key.dll_ver.size() + key.app_ver.size());
  AppendField(encoded, key.product_ver);
  AppendField(encoded, key.kind);
  AppendNumber(encoded, static_cast<std::uint32_t>(key.error_code), 4);
  AppendField(encoded, key.message);
  encoded.push_back(key.value ? '\1' : '\0');
  if (key.value) AppendField(encoded, *key.value);
  AppendField(encoded, key.dll_ver);
  AppendField(encoded, key.app_ver);

  ItemKeyHash hash{};
  unsigned int size = 0;
  if (EVP_Digest(encoded.data(), encoded.size(), hash.data(), &size, EVP_sha256(), nullptr) != 1 ||
      size != hash.size()) {
    throw std::runtime_error("SHA-256 of an item key failed");
  }
  return hash;
}

}  // namespace intake
