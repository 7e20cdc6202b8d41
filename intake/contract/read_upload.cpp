#include "contract/read_upload.h"

#include "contract/content_type.h"
#include "contract/sha256_hex.h"

namespace intake {

std::variant<Upload, ContractError> ReadUpload(const UploadHeaders& headers,
                                               std::string_view body) {
  if (!IsXmlUtf8ContentType(headers.content_type)) return ContractError::kContentType;
  if (!headers.idempotency_key) return ContractError::kNoKey;
  // Hashed before parsing: a false key costs one pass, not a tree.
  std::string key = Sha256Hex(body);
  if (*headers.idempotency_key != key) return ContractError::kKeyMismatch;

  auto parsed = ParseReportBody(body);
  if (const ContractError* error = std::get_if<ContractError>(&parsed)) return *error;
  auto& documents = std::get<std::vector<ReportDocument>>(parsed);
  const std::string& uuid = documents.front().uuid;
  for (const ReportDocument& document : documents) {
    if (document.uuid != uuid) return ContractError::kUuidsDiffer;
  }
  if (headers.client_id && *headers.client_id != uuid) return ContractError::kClientMismatch;

  Upload upload;
  upload.key = std::move(key);
  upload.client = uuid;
  upload.bytes = body.size();
  upload.documents = std::move(documents);
  return upload;
}

}  // namespace intake
