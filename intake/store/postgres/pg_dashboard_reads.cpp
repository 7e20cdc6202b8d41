#include "store/postgres/pg_dashboard_reads.h"

#include <algorithm>
#include <map>

#include "store/item_cursor.h"
#include "store/item_query_sql.h"

namespace intake::pg {
namespace {

constexpr Statement kVersionSums{
    "dash_version_sums",
    "SELECT product_ver, sum(uploads), sum(clients), sum(items), sum(occurrences) "
    "FROM version_deltas GROUP BY product_ver"};
constexpr Statement kVersionLosses{
    "dash_version_losses",
    "SELECT product_ver, sum(records_lost) FROM losses GROUP BY product_ver"};
constexpr Statement kVersionDays{
    "dash_version_days",
    "SELECT product_ver, day, sum(occurrences) FROM version_deltas WHERE day >= $1::bigint "
    "GROUP BY product_ver, day ORDER BY product_ver, day"};
constexpr Statement kFacets{"dash_facets",
                            "SELECT facet, value FROM version_facets WHERE product_ver = $1::text "
                            "ORDER BY facet, value"};
constexpr Statement kRecentDays{
    "dash_recent_days",
    "SELECT item_id, day, count FROM item_days WHERE item_id = ANY($1::bigint[]) "
    "AND day >= $2::bigint ORDER BY item_id, day"};
constexpr Statement kIdentityVersions{
    "dash_identity_versions",
    "SELECT DISTINCT product_ver FROM items WHERE kind = $1::text AND error_code = $2::int "
    "AND md5(message) = md5($3::text) AND message = $3::text"};
constexpr Statement kIdentityCounts{
    "dash_identity_counts",
    "SELECT i.product_ver, sum(i.count), count(*), "
    "(SELECT count(DISTINCT c.client_id) FROM item_clients c JOIN items j ON j.id = c.item_id "
    " WHERE j.kind = $1::text AND j.error_code = $2::int AND md5(j.message) = md5($3::text) "
    " AND j.message = $3::text AND j.product_ver = i.product_ver) "
    "FROM items i WHERE i.kind = $1::text AND i.error_code = $2::int "
    "AND md5(i.message) = md5($3::text) AND i.message = $3::text GROUP BY i.product_ver"};

std::uint64_t Unsigned(const QueryResult& rows, int row, int col) {
  return rows.is_null(row, col) ? 0 : static_cast<std::uint64_t>(rows.int64(row, col));
}

// "{1,2,3}" for a bigint[] parameter.
std::string IdArray(const std::vector<VersionItem>& items) {
  std::string text = "{";
  for (const VersionItem& item : items) {
    if (text.size() > 1) text.push_back(',');
    text += std::to_string(item.id);
  }
  return text + "}";
}

}  // namespace

bool ReadVersions(Connection& conn, std::int64_t first_day, std::vector<VersionFigures>* out) {
  QueryResult sums = conn.Exec(kVersionSums, {});
  QueryResult losses = conn.Exec(kVersionLosses, {});
  QueryResult days = conn.Exec(kVersionDays, {std::to_string(first_day)});
  if (!sums.ok() || !losses.ok() || !days.ok()) return false;
  std::map<std::string, VersionFigures> versions;
  for (int row = 0; row < sums.rows(); ++row) {
    VersionFigures& figures = versions[sums.text(row, 0)];
    figures.product_ver = sums.text(row, 0);
    figures.uploads = Unsigned(sums, row, 1);
    figures.clients = Unsigned(sums, row, 2);
    figures.items = Unsigned(sums, row, 3);
    figures.occurrences = Unsigned(sums, row, 4);
  }
  for (int row = 0; row < losses.rows(); ++row) {
    VersionFigures& figures = versions[losses.text(row, 0)];
    figures.product_ver = losses.text(row, 0);
    figures.records_lost = Unsigned(losses, row, 1);
  }
  for (int row = 0; row < days.rows(); ++row) {
    const auto found = versions.find(days.text(row, 0));
    if (found != versions.end()) {
      found->second.days.push_back({days.int64(row, 1), Unsigned(days, row, 2)});
    }
  }
  out->clear();
  for (auto& [name, figures] : versions) out->push_back(std::move(figures));
  return true;
}

bool ReadFacets(Connection& conn, const std::string& product, VersionFacets* out) {
  QueryResult rows = conn.Exec(kFacets, {product});
  if (!rows.ok()) return false;
  *out = {};
  for (int row = 0; row < rows.rows(); ++row) {
    const std::int64_t facet = rows.int64(row, 0);
    auto& list = facet == 0 ? out->kinds : facet == 1 ? out->dll_vers : out->app_vers;
    list.push_back(rows.text(row, 1));
  }
  return true;
}

bool ReadVersionItems(Connection& conn, const VersionItemQuery& query, VersionItemPage* out) {
  *out = {};
  std::optional<ItemCursor> after;
  if (query.after) {
    after = DecodeItemCursor(query.sort, *query.after);
    if (!after) return true;
  }
  // One prepared statement per shape of filters, so each plan can use the
  // index its filters call for.
  const std::string column = ItemSortColumn(query.sort);
  std::string name = "dash_items_";
  name.append(column);
  std::string sql =
      "SELECT id, product_ver, kind, error_code, message, value, dll_ver, app_ver, count, "
      "clients, first_seen, last_seen FROM items WHERE product_ver = $1::text";
  Params params = {query.product_ver};
  auto add = [&](const std::optional<std::string>& value, const std::string& condition, char tag) {
    if (!value) return;
    params.push_back(*value);
    std::string n = std::to_string(params.size());
    n.insert(n.begin(), '$');
    std::string text = condition;
    for (std::size_t at; (at = text.find('#')) != std::string::npos;) text.replace(at, 1, n);
    sql.append(" AND ").append(text);
    name.push_back(tag);
  };
  add(query.kind, "kind = #::text", 'k');
  add(query.dll_ver, "dll_ver = #::text", 'd');
  add(query.app_ver, "app_ver = #::text", 'a');
  add(query.text ? std::optional(ItemLikePattern(*query.text)) : std::nullopt,
      "(message ILIKE #::text OR value ILIKE #::text)", 't');
  if (after) {
    params.push_back(std::to_string(after->value));
    params.push_back(std::to_string(after->id));
    const std::size_t n = params.size();
    sql.append(" AND (").append(column).append(", id) < ($").append(std::to_string(n - 1));
    sql.append("::bigint, $").append(std::to_string(n)).append("::bigint)");
    name.push_back('c');
  }
  const std::uint32_t limit = std::clamp<std::uint32_t>(query.limit, 1, 1000);
  params.push_back(std::to_string(std::int64_t{limit} + 1));
  sql.append(" ORDER BY ").append(column).append(" DESC, id DESC LIMIT $");
  sql.append(std::to_string(params.size())).append("::bigint");
  QueryResult rows = conn.Exec({name.c_str(), sql.c_str()}, params);
  if (!rows.ok()) return false;
  for (int row = 0; row < rows.rows(); ++row) {
    if (out->items.size() == limit) {
      const VersionItem& last = out->items.back();
      ItemSummary summary;
      summary.count = last.count;
      summary.clients = last.clients;
      summary.last_seen = last.last_seen;
      out->next = EncodeItemCursor(query.sort, {SortValue(query.sort, summary), last.id});
      break;
    }
    VersionItem item;
    item.id = rows.int64(row, 0);
    item.key.product_ver = rows.text(row, 1);
    item.key.kind = rows.text(row, 2);
    item.key.error_code = static_cast<std::int32_t>(rows.int64(row, 3));
    item.key.message = rows.text(row, 4);
    if (!rows.is_null(row, 5)) item.key.value = rows.text(row, 5);
    item.key.dll_ver = rows.text(row, 6);
    item.key.app_ver = rows.text(row, 7);
    item.count = Unsigned(rows, row, 8);
    item.clients = Unsigned(rows, row, 9);
    item.first_seen = rows.int64(row, 10);
    item.last_seen = rows.int64(row, 11);
    out->items.push_back(std::move(item));
  }
  if (out->items.empty()) return true;
  QueryResult days = conn.Exec(kRecentDays, {IdArray(out->items), std::to_string(query.first_day)});
  if (!days.ok()) return false;
  std::map<std::int64_t, VersionItem*> by_id;
  for (VersionItem& item : out->items) by_id[item.id] = &item;
  for (int row = 0; row < days.rows(); ++row) {
    by_id[days.int64(row, 0)]->days.push_back({days.int64(row, 1), Unsigned(days, row, 2)});
  }
  for (VersionItem& item : out->items) {
    QueryResult versions = conn.Exec(
        kIdentityVersions, {item.key.kind, std::to_string(item.key.error_code), item.key.message});
    if (!versions.ok()) return false;
    for (int row = 0; row < versions.rows(); ++row) {
      item.identity_versions.push_back(versions.text(row, 0));
    }
  }
  return true;
}

bool ReadIdentityVersions(Connection& conn, const ItemKey& key,
                          std::vector<IdentityInVersion>* out) {
  QueryResult rows =
      conn.Exec(kIdentityCounts, {key.kind, std::to_string(key.error_code), key.message});
  if (!rows.ok()) return false;
  out->clear();
  for (int row = 0; row < rows.rows(); ++row) {
    out->push_back({rows.text(row, 0), Unsigned(rows, row, 1), Unsigned(rows, row, 3),
                    Unsigned(rows, row, 2)});
  }
  return true;
}

}  // namespace intake::pg
