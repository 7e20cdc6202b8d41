// The upload contract: the headers that matter and the body's bytes in, an
// Upload or the reason it is refused out. Nothing is half-read: either every
// document and item is sound, or the whole upload is refused.
#pragma once

#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "contract/contract_error.h"
#include "contract/upload.h"

namespace intake {

struct UploadHeaders {
  std::string_view content_type;
  std::optional<std::string_view> idempotency_key;
  std::optional<std::string_view> client_id;  // X-Client-Id
};

// Checks, in this order: content type (415), key against the body's SHA-256,
// UTF-8, the documents, X-Client-Id against their UUID. The Upload's client
// is X-Client-Id when sent, else the documents' UUID. Throws only
// std::bad_alloc.
std::variant<Upload, ContractError> ReadUpload(const UploadHeaders& headers, std::string_view body);

// The body alone: one or more Log_Error documents with only white space
// between them. Used by ReadUpload, the fuzz target and the benchmark.
std::variant<std::vector<ReportDocument>, ContractError> ParseReportBody(std::string_view body);

}  // namespace intake
