#include "log_fold.h"

#include <functional>
#include <string>
#include <utility>

namespace suite {

namespace {

std::size_t Mix(std::size_t seed, std::size_t value) {
  return seed ^ (value + static_cast<std::size_t>(0x9E3779B9u) + (seed << 6) + (seed >> 2));
}

std::size_t HashPointer(const void* p) { return std::hash<const void*>{}(p); }

}  // namespace

std::size_t LogFold::KeyHash::operator()(const AppKey& key) const {
  return Mix(Mix(HashPointer(key.pProduct), text(key.name)), text(key.version));
}

std::size_t LogFold::KeyHash::operator()(const ModuleKey& key) const {
  return Mix(Mix(HashPointer(key.pApp), text(key.name)), text(key.version));
}

std::size_t LogFold::KeyHash::operator()(const ItemKey& key) const {
  std::size_t seed = Mix(HashPointer(key.pModule), key.nKind);
  seed = Mix(seed, static_cast<std::uint32_t>(key.nErrorCode));
  return Mix(seed, text(key.message));
}

std::size_t LogFold::KeyHash::operator()(const ValuedItemKey& key) const {
  return Mix((*this)(key.item), text(key.value));
}

LogFold::LogFold(ProductList& products, const TextHashKey& key)
    : m_products(products),
      m_productIndex(0, KeyHash{KeyedTextHash(key)}),
      m_appIndex(0, KeyHash{KeyedTextHash(key)}),
      m_moduleIndex(0, KeyHash{KeyedTextHash(key)}),
      m_itemIndex(0, KeyHash{KeyedTextHash(key)}),
      m_valuedItemIndex(0, KeyHash{KeyedTextHash(key)}) {
  for (const auto& pProduct : m_products) {
    m_productIndex.try_emplace(pProduct->strProductVersion, pProduct.get());
    for (const auto& pApp : pProduct->vecApps) {
      m_appIndex.try_emplace(AppKey{pProduct.get(), pApp->pszAppName, pApp->pszAppVersion},
                             pApp.get());
      for (const auto& pModule : pApp->vecModules) {
        m_moduleIndex.try_emplace(
            ModuleKey{pApp.get(), pModule->pszModuleName, pModule->pszModuleVersion},
            pModule.get());
        for (const auto& pItem : pModule->vecItems) IndexItem(pModule.get(), pItem.get());
      }
    }
  }
}

void LogFold::IndexItem(const ModuleGroup* pModule, ErrorItem* pItem) {
  const ItemKey key{pModule, pItem->nKind, pItem->nErrorCode, pItem->pszMessage};
  m_itemIndex.try_emplace(key, pItem);
  if (pItem->pszValue) m_valuedItemIndex.try_emplace(ValuedItemKey{key, *pItem->pszValue}, pItem);
}

void LogFold::Add(const LogRecordView& record) {
  ProductGroup* pProduct;
  if (auto it = m_productIndex.find(record.productVersion); it != m_productIndex.end()) {
    pProduct = it->second;
  } else {
    auto pNew = std::make_unique<ProductGroup>();
    pNew->strProductVersion.assign(record.productVersion);
    pProduct = pNew.get();
    m_products.push_back(std::move(pNew));
    m_productIndex.emplace(pProduct->strProductVersion, pProduct);
  }

  AppGroup* pApp;
  const AppKey appKey{pProduct, record.appName, record.appVersion};
  if (auto it = m_appIndex.find(appKey); it != m_appIndex.end()) {
    pApp = it->second;
  } else {
    auto pNew = std::make_unique<AppGroup>();
    pNew->pszAppName = record.appName;
    pNew->pszAppVersion = record.appVersion;
    pApp = pNew.get();
    pProduct->vecApps.push_back(std::move(pNew));
    m_appIndex.emplace(appKey, pApp);
  }

  ModuleGroup* pModule;
  const ModuleKey moduleKey{pApp, record.moduleName, record.moduleVersion};
  if (auto it = m_moduleIndex.find(moduleKey); it != m_moduleIndex.end()) {
    pModule = it->second;
  } else {
    auto pNew = std::make_unique<ModuleGroup>();
    pNew->pszModuleName = record.moduleName;
    pNew->pszModuleVersion = record.moduleVersion;
    pModule = pNew.get();
    pApp->vecModules.push_back(std::move(pNew));
    m_moduleIndex.emplace(moduleKey, pModule);
  }

  ErrorItem* pItem = nullptr;
  const ItemKey itemKey{pModule, record.nKind, record.nErrorCode, record.message};
  if (record.bHasValue) {
    if (auto it = m_valuedItemIndex.find(ValuedItemKey{itemKey, record.value});
        it != m_valuedItemIndex.end()) {
      pItem = it->second;
    }
  } else if (auto it = m_itemIndex.find(itemKey); it != m_itemIndex.end()) {
    pItem = it->second;
  }
  if (pItem == nullptr) {
    auto pNew = std::make_unique<ErrorItem>();
    pNew->nKind = record.nKind;
    pNew->nErrorCode = record.nErrorCode;
    pNew->pszMessage = record.message;
    if (record.bHasValue) pNew->pszValue = record.value;
    pItem = pNew.get();
    // Tree before index: a throwing index insert then cannot leave an entry
    // that points at a freed item.
    pModule->vecItems.push_back(std::move(pNew));
    IndexItem(pModule, pItem);
  }
  ++pItem->nCount;
}

}  // namespace suite
