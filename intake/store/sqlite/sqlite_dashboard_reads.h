// The dashboard's reads on the SQLite store's read connection. Not
// thread-safe: the store serialises calls, as it does for SqliteReader.
// Failures throw SqliteError.
#pragma once

#include <string>
#include <vector>

#include "store/sqlite/sqlite_connection.h"
#include "store/store.h"

namespace intake {

class SqliteDashboardReader {
 public:
  explicit SqliteDashboardReader(SqliteConnection& connection) : m_connection(connection) {}

  std::vector<VersionFigures> ListVersions(std::int64_t first_day);
  VersionFacets GetVersionFacets(const std::string& product);
  VersionItemPage ListVersionItems(const VersionItemQuery& query);
  std::vector<IdentityInVersion> ListIdentityVersions(const ItemKey& key);

 private:
  SqliteConnection& m_connection;
};

}  // namespace intake
