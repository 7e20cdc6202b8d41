#include "upload_handler.h"

#include <new>

#include "contract/content_type.h"
#include "contract/read_upload.h"
#include "fold/fold.h"

namespace intake {

std::optional<Outcome> UploadHandler::RefusedByHeaders(std::string_view content_type) {
  if (!IsXmlUtf8ContentType(content_type)) return Outcome(ContractError::kContentType);
  return std::nullopt;
}

Reply UploadHandler::Handle(const UploadRequest& request) noexcept {
  try {
    const UploadHeaders headers{request.content_type, request.key, request.client_id};
    // Parse fully, then fold, then commit: nothing half-read reaches the store.
    auto read = ReadUpload(headers, request.body);
    if (const auto* refusal = std::get_if<ContractError>(&read)) return TextReply(*refusal);
    const FoldedUpload folded =
        Fold(std::get<Upload>(read), FoldOptions{.keep_user_paths = m_keepUserPaths});
    read = ContractError::kNoDocument;  // the parsed copy is not needed any more
    const CommitResult result = m_commit(folded);
    return TextReply(result.outcome, result.retry_after_seconds);
  } catch (const std::bad_alloc&) {
    return TextReply(CommitOutcome::kUnavailable);
  } catch (...) {
    return TextReply(HttpOutcome::kServerFault);
  }
}

}  // namespace intake
