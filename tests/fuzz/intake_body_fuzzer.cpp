// Feeds arbitrary bytes to the intake's body parser, as a body and behind
// its headers. Checks, for every input:
// - the parser answers (documents or a refusal) without a fault, a leak or
//   unbounded time, and reading the whole upload agrees with it;
// - a body it reads, written again the way the library's writer writes it,
//   reads back to the same documents: no value is altered or cut;
// - the fold of what it reads keeps every count (the items' sums add up to
//   the Counts read) and gives at most one loss row per cause and version.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <tuple>

#include "contract/read_upload.h"
#include "contract/sha256_hex.h"
#include "fold/fold.h"
#include "intake/report_builder.h"

using namespace intake;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool SameDocuments(const std::vector<ReportDocument>& a, const std::vector<ReportDocument>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t d = 0; d < a.size(); ++d) {
    if (a[d].product_ver != b[d].product_ver || a[d].uuid != b[d].uuid ||
        a[d].items.size() != b[d].items.size()) {
      return false;
    }
    for (std::size_t i = 0; i < a[d].items.size(); ++i) {
      const ReportItem& x = a[d].items[i];
      const ReportItem& y = b[d].items[i];
      if (std::tie(x.kind, x.error_code, x.message, x.value, x.count, x.dll_ver, x.app_ver) !=
          std::tie(y.kind, y.error_code, y.message, y.value, y.count, y.dll_ver, y.app_ver)) {
        return false;
      }
    }
  }
  return true;
}

void CheckFold(const Upload& upload) {
  std::uint64_t sent = 0;
  for (const ReportDocument& document : upload.documents) {
    for (const ReportItem& item : document.items) sent += item.count;
  }
  for (const bool keep : {false, true}) {
    const FoldedUpload folded = Fold(upload, {.keep_user_paths = keep});
    std::uint64_t kept = 0;
    for (const FoldedItem& item : folded.items) kept += item.count;
    Require(kept == sent);
    Require(folded.losses.size() <= 4 * folded.product_versions.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  auto parsed = ParseReportBody(body);
  const std::string key = Sha256Hex(body);
  const auto read = ReadUpload({"application/xml; charset=utf-8", key, std::nullopt}, body);
  if (const ContractError* error = std::get_if<ContractError>(&parsed)) {
    const ContractError* also = std::get_if<ContractError>(&read);
    Require(also != nullptr && *also == *error);
    Require(!Reason(*error).empty());
    return 0;
  }
  const auto& documents = std::get<std::vector<ReportDocument>>(parsed);
  Require(!documents.empty());
  const auto written = ParseReportBody(intake::testing::ReportText(documents));
  const auto* again = std::get_if<std::vector<ReportDocument>>(&written);
  Require(again != nullptr && SameDocuments(*again, documents));
  if (const Upload* upload = std::get_if<Upload>(&read)) {
    Require(SameDocuments(upload->documents, documents));
    CheckFold(*upload);
  } else {
    Require(std::get<ContractError>(read) == ContractError::kUuidsDiffer);
  }
  return 0;
}
