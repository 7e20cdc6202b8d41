// The read side of the store on one session: the read API's queries.
// Each returns false with the session's error when the query failed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/postgres/pg_connection.h"
#include "store/store.h"

namespace intake::pg {

bool ReadItems(Connection& conn, const ItemQuery& query, ItemPage* page);
bool ReadItem(Connection& conn, std::int64_t id, std::optional<ItemDetail>* item);
bool ReadLosses(Connection& conn, const std::optional<std::string>& product,
                std::vector<LossDay>* losses);
bool ReadUpload(Connection& conn, const std::string& key, std::optional<UploadReceipt>* upload);

}  // namespace intake::pg
