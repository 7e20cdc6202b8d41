// The plain search-from-the-front fold the indexed fold must reproduce, and
// a tree comparison. Quadratic on purpose: it is the reference, kept simple.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "format/log_record_walk.h"
#include "report/log_tree.h"

namespace logtest {

using namespace suite;

template <typename T, typename Match>
T* FindFirst(std::vector<std::unique_ptr<T>>& nodes, Match match) {
  for (auto& p : nodes) {
    if (match(*p)) return p.get();
  }
  return nullptr;
}

inline void LinearFold(const LogRecordView& r, ProductList& products) {
  ProductGroup* pProduct = FindFirst(
      products, [&](const ProductGroup& g) { return g.strProductVersion == r.productVersion; });
  if (!pProduct) {
    products.push_back(
        std::make_unique<ProductGroup>(ProductGroup{std::u16string(r.productVersion), {}}));
    pProduct = products.back().get();
  }
  AppGroup* pApp = FindFirst(pProduct->vecApps, [&](const AppGroup& g) {
    return g.pszAppName == r.appName && g.pszAppVersion == r.appVersion;
  });
  if (!pApp) {
    pProduct->vecApps.push_back(std::make_unique<AppGroup>(AppGroup{r.appName, r.appVersion, {}}));
    pApp = pProduct->vecApps.back().get();
  }
  ModuleGroup* pModule = FindFirst(pApp->vecModules, [&](const ModuleGroup& g) {
    return g.pszModuleName == r.moduleName && g.pszModuleVersion == r.moduleVersion;
  });
  if (!pModule) {
    pApp->vecModules.push_back(
        std::make_unique<ModuleGroup>(ModuleGroup{r.moduleName, r.moduleVersion, {}}));
    pModule = pApp->vecModules.back().get();
  }
  ErrorItem* pItem = FindFirst(pModule->vecItems, [&](const ErrorItem& i) {
    if (i.nKind != r.nKind || i.nErrorCode != r.nErrorCode || i.pszMessage != r.message)
      return false;
    return !r.bHasValue || (i.pszValue && *i.pszValue == r.value);
  });
  if (!pItem) {
    auto pNew = std::make_unique<ErrorItem>(ErrorItem{r.nKind, r.nErrorCode, r.message, {}});
    if (r.bHasValue) pNew->pszValue = r.value;
    pModule->vecItems.push_back(std::move(pNew));
    pItem = pModule->vecItems.back().get();
  }
  ++pItem->nCount;
}

// Same as ParseLogRecords, through the reference fold.
inline bool LinearParse(const std::uint8_t* pData, std::size_t nBytes, ProductList& products) {
  LogRecordWalk walk(pData, nBytes);
  const LogFileState state = walk.FileState();
  if (state != LogFileState::Known && state != LogFileState::Damaged) return false;
  LogRecordView record;
  for (;;) {
    switch (walk.Next(record)) {
      case LogWalkStep::Record:
        LinearFold(record, products);
        break;
      case LogWalkStep::Skipped:
        break;
      case LogWalkStep::End:
        return state == LogFileState::Known || walk.RecordCount() != 0;
    }
  }
}

// Views must be the very same ranges, not just equal texts: the kept text of
// a group is the one of the record that created it.
inline bool SameView(std::u16string_view a, std::u16string_view b) {
  return a.data() == b.data() && a.size() == b.size();
}

inline bool SameTree(const ProductList& a, const ProductList& b) {
  const auto sameSize = [](const auto& x, const auto& y) { return x.size() == y.size(); };
  if (!sameSize(a, b)) return false;
  for (std::size_t p = 0; p < a.size(); ++p) {
    const auto& pa = *a[p];
    const auto& pb = *b[p];
    if (pa.strProductVersion != pb.strProductVersion || !sameSize(pa.vecApps, pb.vecApps))
      return false;
    for (std::size_t i = 0; i < pa.vecApps.size(); ++i) {
      const auto& aa = *pa.vecApps[i];
      const auto& ab = *pb.vecApps[i];
      if (!SameView(aa.pszAppName, ab.pszAppName) ||
          !SameView(aa.pszAppVersion, ab.pszAppVersion) ||
          !sameSize(aa.vecModules, ab.vecModules)) {
        return false;
      }
      for (std::size_t m = 0; m < aa.vecModules.size(); ++m) {
        const auto& ma = *aa.vecModules[m];
        const auto& mb = *ab.vecModules[m];
        if (!SameView(ma.pszModuleName, mb.pszModuleName) ||
            !SameView(ma.pszModuleVersion, mb.pszModuleVersion) ||
            !sameSize(ma.vecItems, mb.vecItems)) {
          return false;
        }
        for (std::size_t e = 0; e < ma.vecItems.size(); ++e) {
          const auto& ea = *ma.vecItems[e];
          const auto& eb = *mb.vecItems[e];
          if (ea.nKind != eb.nKind || ea.nErrorCode != eb.nErrorCode || ea.nCount != eb.nCount ||
              !SameView(ea.pszMessage, eb.pszMessage) ||
              ea.pszValue.has_value() != eb.pszValue.has_value() ||
              (ea.pszValue && !SameView(*ea.pszValue, *eb.pszValue))) {
            return false;
          }
        }
      }
    }
  }
  return true;
}

}  // namespace logtest
