// Feeds arbitrary bytes to the log reader. Every text in the tree is read in
// full so ASan sees any view that leaves the buffer, and the tree is checked
// against the plain search-from-the-front fold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../../Base/Log/LogError/report/log_parse.h"
#include "../support/linear_fold.h"

namespace {

void Require(bool bCondition) {
  if (!bCondition) std::abort();
}

const std::uint8_t* g_pBegin;
const std::uint8_t* g_pEnd;

// Borrowed texts must lie inside the file buffer; the product version is owned.
std::uint32_t Touch(std::u16string_view text, bool bBorrowed = true) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  Require(!bBorrowed || text.empty() ||
          (p >= g_pBegin && p + text.size() * sizeof(char16_t) <= g_pEnd));
  std::uint32_t sum = 0;
  for (char16_t c : text) {
    Require(c != u'\0');
    sum += c;
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  // An exact-size heap copy: aligned as the reader requires, and ASan flags
  // a single byte read past its end.
  const std::vector<std::uint8_t> bytes(pData, pData + nSize);
  g_pBegin = bytes.data();
  g_pEnd = bytes.data() + bytes.size();

  ProductList products;
  const bool bOk = ParseLogRecords(bytes.data(), bytes.size(), products);

  volatile std::uint32_t sink = 0;
  std::int64_t nCounted = 0;
  for (const auto& pProduct : products) {
    sink = sink + Touch(pProduct->strProductVersion, false);
    for (const auto& pApp : pProduct->vecApps) {
      sink = sink + Touch(pApp->pszAppName) + Touch(pApp->pszAppVersion);
      for (const auto& pModule : pApp->vecModules) {
        sink = sink + Touch(pModule->pszModuleName) + Touch(pModule->pszModuleVersion);
        for (const auto& pItem : pModule->vecItems) {
          sink = sink + Touch(pItem->pszMessage) + (pItem->pszValue ? Touch(*pItem->pszValue) : 0);
          Require(pItem->nCount > 0);
          nCounted += pItem->nCount;
        }
      }
    }
  }

  std::int64_t nRecords = 0;
  if (IsKnownLogFileHeader(bytes.data(), bytes.size())) {
    LogRecordWalk walk(bytes.data(), bytes.size());
    LogRecordView record;
    while (walk.Next(record) == LogWalkStep::Record) ++nRecords;
  }
  Require(nCounted == nRecords);

  ProductList expected;
  Require(logtest::LinearParse(bytes.data(), bytes.size(), expected) == bOk);
  Require(logtest::SameTree(products, expected));
  return 0;
}
