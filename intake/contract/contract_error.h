// Why an upload was refused, as the HTTP face answers it: one status and one
// line of plain text per cause.
#pragma once

#include <string_view>

namespace intake {

enum class ContractError {
  kContentType,       // 415: not application/xml (charset utf-8 allowed)
  kNoKey,             // no Idempotency-Key header
  kKeyMismatch,       // the key is not the lower-case hex SHA-256 of the body
  kNotUtf8,           // the body is not UTF-8
  kNotXmlText,        // a character XML cannot carry (NUL, C0 controls, U+FFFE/U+FFFF)
  kNotWellFormed,     // the XML parser refused the body
  kDoctype,           // a DOCTYPE anywhere
  kEntity,            // an entity reference other than XML's five and character references
  kNoDocument,        // no Log_Error document at all
  kForeignNode,       // another element, a processing instruction or CDATA
  kStrayText,         // text other than white space between or inside the documents
  kMissingAttribute,  // an attribute the writer always writes is absent
  kForeignAttribute,  // an attribute the writer never writes, or one twice
  kBadErrorCode,      // an ErrorCode that is not a 32-bit signed decimal
  kBadCount,          // a Count that is not a decimal in 1..2147483647
  kUuidsDiffer,       // the documents do not all carry the same UUID
  kClientMismatch,    // X-Client-Id differs from the documents' UUID
  kTooDense,          // the body's elements would take more memory than its size allows
};

// 415 for kContentType, 400 for every other cause.
int HttpStatus(ContractError error);

// One line, no line break, for the answer's plain-text body.
std::string_view Reason(ContractError error);

}  // namespace intake
