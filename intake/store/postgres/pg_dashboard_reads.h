// The dashboard's reads on one PostgreSQL session. Each returns false when
// the query failed.
#pragma once

#include <string>
#include <vector>

#include "store/postgres/pg_connection.h"
#include "store/store.h"

namespace intake::pg {

bool ReadVersions(Connection& conn, std::int64_t first_day, std::vector<VersionFigures>* out);
bool ReadFacets(Connection& conn, const std::string& product, VersionFacets* out);
bool ReadVersionItems(Connection& conn, const VersionItemQuery& query, VersionItemPage* out);
bool ReadIdentityVersions(Connection& conn, const ItemKey& key,
                          std::vector<IdentityInVersion>* out);

}  // namespace intake::pg
