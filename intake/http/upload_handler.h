// POST /reports after its body arrived: the contract reads it, the fold
// folds it, the commit stores it, and the outcome becomes the answer. Blocks
// until the commit returned, so the server runs it on a worker thread.
// Thread-safe; never throws.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "fold/folded_upload.h"
#include "http/answers.h"
#include "store/store.h"

namespace intake {

struct UploadRequest {
  std::string content_type;
  std::optional<std::string> key;
  std::optional<std::string> client_id;
  std::string body;
};

class UploadHandler {
 public:
  // Stores one folded upload and says how: a group commit, shared by the
  // uploads that arrive together. Must be callable from many threads.
  using Commit = std::function<CommitResult(const FoldedUpload&)>;

  UploadHandler(Commit commit, bool keep_user_paths)
      : m_commit(std::move(commit)), m_keepUserPaths(keep_user_paths) {}

  // The refusal that the headers alone decide (another content type), so
  // that such a body is never read.
  static std::optional<Outcome> RefusedByHeaders(std::string_view content_type);

  Reply Handle(const UploadRequest& request) noexcept;

 private:
  Commit m_commit;
  bool m_keepUserPaths;
};

}  // namespace intake
