#include "upload_handler.h"

#include <memory>
#include <new>

#include "contract/content_type.h"
#include "contract/read_upload.h"
#include "fold/fold.h"

namespace intake {

std::optional<Outcome> UploadHandler::RefusedByHeaders(std::string_view content_type) {
  if (!IsXmlUtf8ContentType(content_type)) return Outcome(ContractError::kContentType);
  return std::nullopt;
}

void UploadHandler::Handle(UploadRequest request, std::function<void(Reply)> answer) noexcept {
  std::optional<Reply> refusal;
  try {
    const UploadHeaders headers{request.content_type, request.key, request.client_id};
    // Parse fully, then fold, then commit: nothing half-read reaches the store.
    auto read = ReadUpload(headers, request.body);
    request.body = std::string();  // the Upload holds copies of what it needs
    if (const auto* error = std::get_if<ContractError>(&read)) {
      refusal = TextReply(*error);
    } else {
      auto folded = std::make_shared<const FoldedUpload>(
          Fold(std::move(std::get<Upload>(read)), FoldOptions{.keep_user_paths = m_keepUserPaths}));
      read = ContractError::kNoDocument;  // the parsed copy goes before the commit
      // The folded rows stay alive in the callback until their group committed.
      m_committer.Submit(*folded, [folded, answer](const CommitResult& result) {
        try {
          answer(TextReply(result.outcome, result.retry_after_seconds));
        } catch (...) {
          // Nothing to answer with: the connection's deadline ends it.
        }
      });
      return;
    }
  } catch (const std::bad_alloc&) {
    refusal = TextReply(CommitOutcome::kUnavailable);
  } catch (...) {
    refusal = TextReply(HttpOutcome::kServerFault);
  }
  try {
    answer(std::move(*refusal));
  } catch (...) {
    // As above.
  }
}

}  // namespace intake
