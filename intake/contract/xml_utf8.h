// The body's characters, checked before the XML parser sees them: the parser
// would stop at a NUL without a word and lets C0 controls through.
#pragma once

#include <optional>
#include <string_view>

#include "contract/contract_error.h"

namespace intake {

// kNotUtf8 for a byte sequence that is not UTF-8 (overlong forms, surrogates,
// past U+10FFFF, cut sequences); kNotXmlText for a character XML 1.0 cannot
// carry. A leading byte order mark is allowed.
std::optional<ContractError> CheckXmlUtf8(std::string_view text);

}  // namespace intake
