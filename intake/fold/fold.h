// Folds a read upload into the rows the store keeps: user names out of
// profile paths, equal items summed, account records counted as losses too.
#pragma once

#include "contract/upload.h"
#include "fold/folded_upload.h"

namespace intake {

struct FoldOptions {
  bool keep_user_paths = false;  // --keep-user-paths
};

// Items and losses in order of first appearance. Sums saturate at 2^64 - 1.
FoldedUpload Fold(const Upload& upload, const FoldOptions& options = {});

// The same, taking the upload's texts instead of copying them: a full-size
// upload is then never held twice.
FoldedUpload Fold(Upload&& upload, const FoldOptions& options = {});

}  // namespace intake
