// Folds walked records into a ProductList.
//
// The tree must come out exactly as a search from the front of every level
// would build it; the indexes below only make that search O(1), so each index
// keeps the FIRST node it saw for a key and is never overwritten.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "format/log_record_walk.h"
#include "keyed_text_hash.h"
#include "log_tree.h"

namespace suite {

class LogFold {
 public:
  // Indexes whatever `products` already holds, so folding into a non-empty
  // list gives the same result as the plain search would. The key hashes
  // the indexes' texts; the tree does not depend on it.
  explicit LogFold(ProductList& products, const TextHashKey& key = ProcessTextHashKey());

  LogFold(const LogFold&) = delete;
  LogFold& operator=(const LogFold&) = delete;

  void Add(const LogRecordView& record);

 private:
  struct AppKey {
    const ProductGroup* pProduct;
    std::u16string_view name;
    std::u16string_view version;
    bool operator==(const AppKey&) const = default;
  };
  struct ModuleKey {
    const AppGroup* pApp;
    std::u16string_view name;
    std::u16string_view version;
    bool operator==(const ModuleKey&) const = default;
  };
  struct ItemKey {
    const ModuleGroup* pModule;
    std::uint32_t nKind;
    std::int32_t nErrorCode;
    std::u16string_view message;
    bool operator==(const ItemKey&) const = default;
  };
  struct ValuedItemKey {
    ItemKey item;
    std::u16string_view value;
    bool operator==(const ValuedItemKey&) const = default;
  };
  struct KeyHash {
    KeyedTextHash text;
    std::size_t operator()(std::u16string_view key) const { return text(key); }
    std::size_t operator()(const AppKey& key) const;
    std::size_t operator()(const ModuleKey& key) const;
    std::size_t operator()(const ItemKey& key) const;
    std::size_t operator()(const ValuedItemKey& key) const;
  };

  void IndexItem(const ModuleGroup* pModule, ErrorItem* pItem);

  ProductList& m_products;
  // Product keys view the owned strProductVersion; each ProductGroup lives
  // behind a unique_ptr, so that string never moves.
  std::unordered_map<std::u16string_view, ProductGroup*, KeyHash> m_productIndex;
  std::unordered_map<AppKey, AppGroup*, KeyHash> m_appIndex;
  std::unordered_map<ModuleKey, ModuleGroup*, KeyHash> m_moduleIndex;
  // A record without a value joins the first item agreeing on kind, code and
  // message whatever that item's value; one with a value joins only an item
  // holding an equal value. Hence two indexes.
  std::unordered_map<ItemKey, ErrorItem*, KeyHash> m_itemIndex;
  std::unordered_map<ValuedItemKey, ErrorItem*, KeyHash> m_valuedItemIndex;
};

}  // namespace suite
