#include "content_key.h"

#include "tool_error.h"
#include "tool_owners.h"

namespace suite {

namespace {

constexpr ULONG kSha256Bytes = 32;

void Check(NTSTATUS status, const wchar_t* step) {
  if (!BCRYPT_SUCCESS(status)) {
    Fail(ExitStatus::kInternal, std::wstring(L"cannot hash the report (") + step + L": " +
                                    HexCode(static_cast<unsigned long>(status)) + L")");
  }
}

}  // namespace

std::wstring ContentKey(std::string_view body) {
  UniqueHashAlgorithm algorithm;
  Check(BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0), L"open");
  UniqueHash hash;
  Check(BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0), L"create");
  while (!body.empty()) {
    const ULONG chunk = body.size() > (1u << 30) ? (1u << 30) : static_cast<ULONG>(body.size());
    Check(BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(body.data())),
                         chunk, 0),
          L"data");
    body.remove_prefix(chunk);
  }
  UCHAR digest[kSha256Bytes];
  Check(BCryptFinishHash(hash.get(), digest, kSha256Bytes, 0), L"finish");
  std::wstring hex;
  hex.reserve(2 * kSha256Bytes);
  for (UCHAR byte : digest) {
    hex += L"0123456789abcdef"[byte >> 4];
    hex += L"0123456789abcdef"[byte & 0xF];
  }
  return hex;
}

}  // namespace suite
