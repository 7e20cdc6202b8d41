// The values of a report's attributes and text, read from the parser's raw
// text: the parser expands no reference itself, so an entity it does not know
// cannot pass as text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "contract/contract_error.h"

namespace intake {

// Appends `raw` with XML's five entities and character references replaced.
// kEntity for any other entity reference; kNotWellFormed for a bare "&" or
// "<", or a character reference to a character XML cannot carry.
std::optional<ContractError> AppendXmlDecoded(std::string_view raw, std::string& out);

// XML white space only: space, TAB, CR, LF.
bool IsXmlWhiteSpace(std::string_view text);

// Decimal as the writer's "%d" writes it: an optional "-", then digits.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// A Count: digits only, 1..2147483647 (the writer's counts are 32-bit signed).
std::optional<std::uint32_t> ParseCount(std::string_view text);

}  // namespace intake
