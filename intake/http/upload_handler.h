// POST /reports after its body arrived: the contract reads it, the fold
// folds it, the group committer stores it, and the outcome becomes the
// answer. Parsing blocks, so the server calls it on a worker thread; the
// answer comes after the upload's group committed. Thread-safe; never throws.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "fold/folded_upload.h"
#include "http/answers.h"
#include "store/group_commit.h"
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
  // `committer` must outlive the handler.
  UploadHandler(GroupCommitter& committer, bool keep_user_paths)
      : m_committer(committer), m_keepUserPaths(keep_user_paths) {}

  // The refusal that the headers alone decide (another content type), so
  // that such a body is never read.
  static std::optional<Outcome> RefusedByHeaders(std::string_view content_type);

  // `answer` runs once, on this thread for a refusal or on the committer's
  // after the commit; it must not block.
  void Handle(UploadRequest request, std::function<void(Reply)> answer) noexcept;

 private:
  GroupCommitter& m_committer;
  bool m_keepUserPaths;
};

}  // namespace intake
