#include "store/sqlite/sqlite_reader.h"

#include <algorithm>

#include "store/item_cursor.h"
#include "store/item_query_sql.h"
#include "store/sqlite/sqlite_item_rows.h"
#include "store/utc_day.h"

namespace intake {
namespace {

constexpr char kItemColumns[] =
    "SELECT id, product_ver, kind, error_code, message, value, dll_ver, app_ver, count, clients, "
    "first_seen, last_seen FROM items";
constexpr char kItemDays[] = "SELECT day, count FROM item_days WHERE item_id = ? ORDER BY day";
constexpr char kLosses[] =
    "SELECT cause, product_ver, day, records_lost FROM losses "
    "WHERE ?1 IS NULL OR product_ver = ?1 ORDER BY cause, product_ver, day";
constexpr char kUpload[] = "SELECT client, received, items, bytes FROM uploads WHERE key = ?";
constexpr char kUploadVersions[] =
    "SELECT product_ver FROM upload_versions WHERE upload_key = ? ORDER BY position";
constexpr char kHealth[] = "SELECT version FROM schema_version";

}  // namespace

ItemPage SqliteReader::ListItems(const ItemQuery& query) {
  ItemPage page;
  std::optional<ItemCursor> after;
  if (query.after) {
    after = DecodeItemCursor(query.sort, *query.after);
    // A cursor this store did not make ends the walk rather than restart it.
    if (!after) return page;
  }
  // The statement names only the filters in use, so each shape is prepared
  // once and can use an index on its columns.
  const std::string column = ItemSortColumn(query.sort);
  std::string sql = kItemColumns;
  std::string where;
  auto add = [&where](const std::string& condition) {
    where += where.empty() ? " WHERE " : " AND ";
    where += condition;
  };
  if (query.product) add("product_ver = ?1");
  if (query.kind) add("kind = ?2");
  if (query.text) add("(message LIKE ?3 ESCAPE '\\' OR value LIKE ?3 ESCAPE '\\')");
  if (after) add("(" + column + ", id) < (?4, ?5)");
  sql += where + " ORDER BY " + column + " DESC, id DESC LIMIT ?6";

  const std::uint32_t limit = std::clamp<std::uint32_t>(query.limit, 1, kMaxItemPage);
  const std::string pattern = query.text ? ItemLikePattern(*query.text) : std::string();
  auto rows = m_connection.UseComposed(sql);
  if (query.product) rows.Bind(1, *query.product);
  if (query.kind) rows.Bind(2, *query.kind);
  if (query.text) rows.Bind(3, pattern);
  if (after) rows.Bind(4, after->value).Bind(5, after->id);
  // One row more than the page says whether a next page exists.
  rows.Bind(6, std::int64_t{limit} + 1);
  while (rows.Step()) {
    if (page.items.size() == limit) {
      const ItemSummary& last = page.items.back();
      page.next = EncodeItemCursor(query.sort, {SortValue(query.sort, last), last.id});
      break;
    }
    page.items.push_back(ReadItemSummary(rows));
  }
  return page;
}

std::optional<ItemDetail> SqliteReader::GetItem(std::int64_t id) {
  SqliteTransaction snapshot(m_connection, TransactionKind::kRead);
  static const std::string kById = std::string(kItemColumns) + " WHERE id = ?1";
  ItemDetail detail;
  {
    auto row = m_connection.UseComposed(kById);
    if (!row.Bind(1, id).Step()) return std::nullopt;
    detail.summary = ReadItemSummary(row);
  }
  auto days = m_connection.Use(kItemDays);
  days.Bind(1, id);
  while (days.Step()) {
    detail.days.push_back({UtcDayText(days.Int(0)), static_cast<std::uint64_t>(days.Int(1))});
  }
  return detail;
}

std::vector<LossDay> SqliteReader::ListLosses(const std::optional<std::string>& product) {
  std::vector<LossDay> losses;
  auto rows = m_connection.Use(kLosses);
  rows.Bind(1, product);
  while (rows.Step()) {
    losses.push_back({static_cast<LossCause>(rows.Int(0)), rows.Text(1), UtcDayText(rows.Int(2)),
                      static_cast<std::uint64_t>(rows.Int(3))});
  }
  return losses;
}

std::optional<UploadReceipt> SqliteReader::GetUpload(const std::string& key) {
  SqliteTransaction snapshot(m_connection, TransactionKind::kRead);
  UploadReceipt receipt;
  {
    auto row = m_connection.Use(kUpload);
    if (!row.Bind(1, key).Step()) return std::nullopt;
    receipt.key = key;
    receipt.client = row.Text(0);
    receipt.received = row.Int(1);
    receipt.items = static_cast<std::uint64_t>(row.Int(2));
    receipt.bytes = static_cast<std::uint64_t>(row.Int(3));
  }
  auto versions = m_connection.Use(kUploadVersions);
  versions.Bind(1, key);
  while (versions.Step()) receipt.product_versions.push_back(versions.Text(0));
  return receipt;
}

bool SqliteReader::Healthy() {
  auto row = m_connection.Use(kHealth);
  return row.Step();
}

}  // namespace intake
