// The folded view of a pending log file, as the report writer consumes it.
// Every borrowed text points into the caller's file buffer, which must outlive
// the tree; only the product version is owned, because it keys the top level.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace suite {

struct ErrorItem {
  std::uint32_t nKind;
  std::int32_t nErrorCode;
  std::u16string_view pszMessage;
  std::optional<std::u16string_view> pszValue;
  std::int32_t nCount = 0;
};

struct ModuleGroup {
  std::u16string_view pszModuleName;
  std::u16string_view pszModuleVersion;
  std::vector<std::unique_ptr<ErrorItem>> vecItems;
};

struct AppGroup {
  std::u16string_view pszAppName;
  std::u16string_view pszAppVersion;
  std::vector<std::unique_ptr<ModuleGroup>> vecModules;
};

struct ProductGroup {
  std::u16string strProductVersion;
  std::vector<std::unique_ptr<AppGroup>> vecApps;
};

using ProductList = std::vector<std::unique_ptr<ProductGroup>>;

}  // namespace suite
