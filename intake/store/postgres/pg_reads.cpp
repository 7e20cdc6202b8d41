#include "store/postgres/pg_reads.h"

#include <algorithm>

#include "store/item_cursor.h"
#include "store/item_query_sql.h"
#include "store/utc_day.h"

namespace intake::pg {
namespace {

#define INTAKE_ITEM_COLUMNS                                                               \
  "id, product_ver, kind, error_code, message, value, dll_ver, app_ver, count, clients, " \
  "first_seen, last_seen"
// Most first; ties by the newest id, which also makes the cursor exact.
#define INTAKE_LIST_ITEMS(name, column)                                   \
  Statement {                                                             \
    name, "SELECT " INTAKE_ITEM_COLUMNS                                   \
          " FROM items WHERE ($1::text IS NULL OR product_ver = $1) "     \
          "AND ($2::text IS NULL OR kind = $2) "                          \
          "AND ($3::text IS NULL OR message ILIKE $3 OR value ILIKE $3) " \
          "AND ($4::bigint IS NULL OR (" column                           \
          ", id) < ($4, $5::bigint)) "                                    \
          "ORDER BY " column " DESC, id DESC LIMIT $6::bigint"            \
  }

constexpr Statement kListByCount = INTAKE_LIST_ITEMS("list_by_count", "count");
constexpr Statement kListByClients = INTAKE_LIST_ITEMS("list_by_clients", "clients");
constexpr Statement kListByLastSeen = INTAKE_LIST_ITEMS("list_by_last_seen", "last_seen");
constexpr Statement kGetItem{"get_item",
                             "SELECT " INTAKE_ITEM_COLUMNS " FROM items WHERE id = $1::bigint"};
constexpr Statement kGetItemDays{"get_item_days",
                                 "SELECT day, count FROM item_days "
                                 "WHERE item_id = $1::bigint ORDER BY day"};
constexpr Statement kListLosses{
    "list_losses",
    "SELECT cause, product_ver, day, records_lost FROM losses "
    "WHERE $1::text IS NULL OR product_ver = $1 ORDER BY cause, product_ver, day"};
constexpr Statement kGetUpload{
    "get_upload", "SELECT key, client, received, items, bytes FROM uploads WHERE key = $1::text"};
constexpr Statement kGetUploadVersions{
    "get_upload_versions",
    "SELECT product_ver FROM upload_versions WHERE upload_key = $1::text ORDER BY position"};

// Largest page the store hands out, whatever the caller asks.
constexpr std::uint32_t kMaxPage = 1000;

ItemSummary ReadSummary(const QueryResult& rows, int row) {
  ItemSummary item;
  item.id = rows.int64(row, 0);
  item.key.product_ver = rows.text(row, 1);
  item.key.kind = rows.text(row, 2);
  item.key.error_code = static_cast<std::int32_t>(rows.int64(row, 3));
  item.key.message = rows.text(row, 4);
  if (!rows.is_null(row, 5)) item.key.value = rows.text(row, 5);
  item.key.dll_ver = rows.text(row, 6);
  item.key.app_ver = rows.text(row, 7);
  item.count = static_cast<std::uint64_t>(rows.int64(row, 8));
  item.clients = static_cast<std::uint64_t>(rows.int64(row, 9));
  item.first_seen = rows.int64(row, 10);
  item.last_seen = rows.int64(row, 11);
  return item;
}

}  // namespace

bool ReadItems(Connection& conn, const ItemQuery& query, ItemPage* page) {
  page->items.clear();
  page->next.reset();
  const Statement& statement = query.sort == ItemSort::kClients    ? kListByClients
                               : query.sort == ItemSort::kLastSeen ? kListByLastSeen
                                                                   : kListByCount;
  const std::uint32_t limit = std::clamp<std::uint32_t>(query.limit, 1, kMaxPage);
  Params params = {query.product, query.kind,   std::nullopt,
                   std::nullopt,  std::nullopt, std::to_string(std::int64_t{limit} + 1)};
  if (query.text) params[2] = ItemLikePattern(*query.text);
  if (query.after) {
    const std::optional<ItemCursor> after = DecodeItemCursor(query.sort, *query.after);
    // A cursor this store did not make ends the walk rather than restart it.
    if (!after) return true;
    params[3] = std::to_string(after->value);
    params[4] = std::to_string(after->id);
  }
  QueryResult rows = conn.Exec(statement, params);
  if (!rows.ok()) return false;
  for (int row = 0; row < rows.rows() && page->items.size() < limit; ++row) {
    page->items.push_back(ReadSummary(rows, row));
  }
  // One row more than the page says whether a next page exists.
  if (static_cast<std::uint32_t>(rows.rows()) > limit) {
    const ItemSummary& last = page->items.back();
    page->next = EncodeItemCursor(query.sort, {SortValue(query.sort, last), last.id});
  }
  return true;
}

bool ReadItem(Connection& conn, std::int64_t id, std::optional<ItemDetail>* item) {
  QueryResult rows = conn.Exec(kGetItem, {std::to_string(id)});
  if (!rows.ok()) return false;
  item->reset();
  if (rows.rows() == 0) return true;
  QueryResult days = conn.Exec(kGetItemDays, {std::to_string(id)});
  if (!days.ok()) return false;
  ItemDetail detail;
  detail.summary = ReadSummary(rows, 0);
  for (int row = 0; row < days.rows(); ++row) {
    detail.days.push_back(
        {UtcDayText(days.int64(row, 0)), static_cast<std::uint64_t>(days.int64(row, 1))});
  }
  *item = std::move(detail);
  return true;
}

bool ReadLosses(Connection& conn, const std::optional<std::string>& product,
                std::vector<LossDay>* losses) {
  QueryResult rows = conn.Exec(kListLosses, {product});
  if (!rows.ok()) return false;
  losses->clear();
  for (int row = 0; row < rows.rows(); ++row) {
    losses->push_back({static_cast<LossCause>(rows.int64(row, 0)), rows.text(row, 1),
                       UtcDayText(rows.int64(row, 2)),
                       static_cast<std::uint64_t>(rows.int64(row, 3))});
  }
  return true;
}

bool ReadUpload(Connection& conn, const std::string& key, std::optional<UploadReceipt>* upload) {
  QueryResult rows = conn.Exec(kGetUpload, {key});
  if (!rows.ok()) return false;
  upload->reset();
  if (rows.rows() == 0) return true;
  QueryResult versions = conn.Exec(kGetUploadVersions, {key});
  if (!versions.ok()) return false;
  UploadReceipt receipt;
  receipt.key = rows.text(0, 0);
  receipt.client = rows.text(0, 1);
  receipt.received = rows.int64(0, 2);
  receipt.items = static_cast<std::uint64_t>(rows.int64(0, 3));
  receipt.bytes = static_cast<std::uint64_t>(rows.int64(0, 4));
  for (int row = 0; row < versions.rows(); ++row) {
    receipt.product_versions.push_back(versions.text(row, 0));
  }
  *upload = std::move(receipt);
  return true;
}

}  // namespace intake::pg
