#include "contract/sha256_hex.h"

#include <openssl/evp.h>

#include <new>

namespace intake {

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // The one-shot digest holds no context of its own to release.
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::bad_alloc();  // only an allocation inside OpenSSL can fail here
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex(2 * length, '0');
  for (unsigned int i = 0; i < length; ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 0xF];
  }
  return hex;
}

}  // namespace intake
