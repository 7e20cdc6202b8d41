// The lower-case hex SHA-256 of some bytes: what a client sends as its
// Idempotency-Key.
#pragma once

#include <string>
#include <string_view>

namespace intake {

std::string Sha256Hex(std::string_view bytes);

}  // namespace intake
