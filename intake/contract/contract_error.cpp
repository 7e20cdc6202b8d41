#include "contract/contract_error.h"

namespace intake {

int HttpStatus(ContractError error) { return error == ContractError::kContentType ? 415 : 400; }

std::string_view Reason(ContractError error) {
  switch (error) {
    case ContractError::kContentType:
      return "the content type must be application/xml (charset utf-8)";
    case ContractError::kNoKey:
      return "no Idempotency-Key";
    case ContractError::kKeyMismatch:
      return "the Idempotency-Key is not the lower-case hex SHA-256 of the body";
    case ContractError::kNotUtf8:
      return "the body is not UTF-8";
    case ContractError::kNotXmlText:
      return "the body holds a character XML cannot carry";
    case ContractError::kNotWellFormed:
      return "the body is not well-formed XML";
    case ContractError::kDoctype:
      return "a DOCTYPE is not accepted";
    case ContractError::kEntity:
      return "an entity reference other than XML's five and character references";
    case ContractError::kNoDocument:
      return "the body holds no Log_Error document";
    case ContractError::kForeignNode:
      return "an element, processing instruction or CDATA section a report does not hold";
    case ContractError::kStrayText:
      return "text other than white space between or inside the documents";
    case ContractError::kMissingAttribute:
      return "an attribute of a document or item is missing";
    case ContractError::kForeignAttribute:
      return "an attribute a report does not hold, or one given twice";
    case ContractError::kBadErrorCode:
      return "an ErrorCode that is not a 32-bit decimal";
    case ContractError::kBadCount:
      return "a Count that is not a positive 32-bit decimal";
    case ContractError::kUuidsDiffer:
      return "the documents do not all carry the same UUID";
    case ContractError::kClientMismatch:
      return "X-Client-Id differs from the documents' UUID";
    case ContractError::kTooDense:
      return "the body's elements need more memory than a report of its size";
  }
  return "the upload is malformed";
}

}  // namespace intake
