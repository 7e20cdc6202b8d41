// The Idempotency-Key of an upload: the lower-case hex SHA-256 of the exact
// body bytes. The same pending records give the same report and so the same
// key, which lets a collector drop the repeat of an upload whose removal
// never happened (a client killed between the answer and MarkReportSent).
#pragma once

#include <string>
#include <string_view>

namespace suite {

// 64 hex digits. Fails with kInternal when the platform's hash is missing.
std::wstring ContentKey(std::string_view body);

}  // namespace suite
