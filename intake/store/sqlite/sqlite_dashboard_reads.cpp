#include "store/sqlite/sqlite_dashboard_reads.h"

#include <algorithm>
#include <map>

#include "store/item_cursor.h"
#include "store/item_query_sql.h"
#include "store/sqlite/sqlite_item_rows.h"
#include "store/sqlite/sqlite_reader.h"

namespace intake {
namespace {

constexpr char kVersionStats[] =
    "SELECT product_ver, uploads, clients, items, occurrences FROM version_stats";
constexpr char kVersionLosses[] =
    "SELECT product_ver, sum(records_lost) FROM losses GROUP BY product_ver";
constexpr char kVersionDays[] =
    "SELECT product_ver, day, occurrences FROM version_days WHERE day >= ? "
    "ORDER BY product_ver, day";
constexpr char kFacets[] =
    "SELECT facet, value FROM version_facets WHERE product_ver = ? ORDER BY facet, value";
constexpr char kRecentDays[] =
    "SELECT day, count FROM item_days WHERE item_id = ? AND day >= ? ORDER BY day";
constexpr char kIdentityVersions[] =
    "SELECT DISTINCT product_ver FROM items WHERE kind = ? AND error_code = ? AND message = ?";
constexpr char kIdentityCounts[] =
    "SELECT product_ver, sum(count), count(*) FROM items "
    "WHERE kind = ?1 AND error_code = ?2 AND message = ?3 GROUP BY product_ver";
constexpr char kIdentityClients[] =
    "SELECT i.product_ver, count(DISTINCT c.client_id) FROM items i "
    "JOIN item_clients c ON c.item_id = i.id "
    "WHERE i.kind = ?1 AND i.error_code = ?2 AND i.message = ?3 GROUP BY i.product_ver";

// The trigram index answers substrings of three characters or more; a
// shorter text is matched by LIKE over the version's rows.
std::size_t CharacterCount(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// One FTS5 phrase holding the text as it is: its quotes doubled, nothing
// read as query syntax.
std::string Phrase(const std::string& text) {
  std::string phrase = "\"";
  for (char c : text) {
    if (c == '"') phrase.push_back('"');
    phrase.push_back(c);
  }
  phrase.push_back('"');
  return phrase;
}

}  // namespace

std::vector<VersionFigures> SqliteDashboardReader::ListVersions(std::int64_t first_day) {
  SqliteTransaction snapshot(m_connection, TransactionKind::kRead);
  std::map<std::string, VersionFigures> versions;
  {
    auto rows = m_connection.Use(kVersionStats);
    while (rows.Step()) {
      VersionFigures& figures = versions[rows.Text(0)];
      figures.product_ver = rows.Text(0);
      figures.uploads = static_cast<std::uint64_t>(rows.Int(1));
      figures.clients = static_cast<std::uint64_t>(rows.Int(2));
      figures.items = static_cast<std::uint64_t>(rows.Int(3));
      figures.occurrences = static_cast<std::uint64_t>(rows.Int(4));
    }
  }
  {
    auto rows = m_connection.Use(kVersionLosses);
    while (rows.Step()) {
      VersionFigures& figures = versions[rows.Text(0)];
      figures.product_ver = rows.Text(0);
      figures.records_lost = static_cast<std::uint64_t>(rows.Int(1));
    }
  }
  {
    auto rows = m_connection.Use(kVersionDays);
    rows.Bind(1, first_day);
    while (rows.Step()) {
      const auto found = versions.find(rows.Text(0));
      if (found == versions.end()) continue;
      found->second.days.push_back({rows.Int(1), static_cast<std::uint64_t>(rows.Int(2))});
    }
  }
  std::vector<VersionFigures> list;
  for (auto& [name, figures] : versions) list.push_back(std::move(figures));
  return list;
}

VersionFacets SqliteDashboardReader::GetVersionFacets(const std::string& product) {
  VersionFacets facets;
  auto rows = m_connection.Use(kFacets);
  rows.Bind(1, product);
  while (rows.Step()) {
    const std::int64_t facet = rows.Int(0);
    auto& list = facet == 0 ? facets.kinds : facet == 1 ? facets.dll_vers : facets.app_vers;
    list.push_back(rows.Text(1));
  }
  return facets;
}

VersionItemPage SqliteDashboardReader::ListVersionItems(const VersionItemQuery& query) {
  VersionItemPage page;
  std::optional<ItemCursor> after;
  if (query.after) {
    after = DecodeItemCursor(query.sort, *query.after);
    if (!after) return page;
  }
  const bool indexed_text = query.text && CharacterCount(*query.text) >= 3;
  const std::string column = ItemSortColumn(query.sort);
  std::string sql =
      "SELECT id, product_ver, kind, error_code, message, value, dll_ver, app_ver, count, "
      "clients, first_seen, last_seen FROM items WHERE product_ver = ?1";
  if (query.kind) sql += " AND kind = ?2";
  if (query.dll_ver) sql += " AND dll_ver = ?3";
  if (query.app_ver) sql += " AND app_ver = ?4";
  if (indexed_text) {
    sql += " AND id IN (SELECT rowid FROM items_text WHERE items_text MATCH ?5)";
  } else if (query.text) {
    sql += " AND (message LIKE ?5 ESCAPE '\\' OR value LIKE ?5 ESCAPE '\\')";
  }
  if (after) sql += " AND (" + column + ", id) < (?6, ?7)";
  sql += " ORDER BY " + column + " DESC, id DESC LIMIT ?8";

  // Bound without a copy: it must outlive the statement's use.
  const std::string pattern = !query.text    ? std::string()
                              : indexed_text ? Phrase(*query.text)
                                             : ItemLikePattern(*query.text);
  SqliteTransaction snapshot(m_connection, TransactionKind::kRead);
  const std::uint32_t limit = std::clamp<std::uint32_t>(query.limit, 1, kMaxItemPage);
  {
    auto rows = m_connection.UseComposed(sql);
    rows.Bind(1, query.product_ver);
    if (query.kind) rows.Bind(2, *query.kind);
    if (query.dll_ver) rows.Bind(3, *query.dll_ver);
    if (query.app_ver) rows.Bind(4, *query.app_ver);
    if (query.text) rows.Bind(5, pattern);
    if (after) rows.Bind(6, after->value).Bind(7, after->id);
    rows.Bind(8, std::int64_t{limit} + 1);
    while (rows.Step()) {
      if (page.items.size() == limit) {
        const VersionItem& last = page.items.back();
        ItemSummary summary;
        summary.count = last.count;
        summary.clients = last.clients;
        summary.last_seen = last.last_seen;
        page.next = EncodeItemCursor(query.sort, {SortValue(query.sort, summary), last.id});
        break;
      }
      ItemSummary summary = ReadItemSummary(rows);
      VersionItem item;
      item.id = summary.id;
      item.key = std::move(summary.key);
      item.count = summary.count;
      item.clients = summary.clients;
      item.first_seen = summary.first_seen;
      item.last_seen = summary.last_seen;
      page.items.push_back(std::move(item));
    }
  }
  for (VersionItem& item : page.items) {
    {
      auto days = m_connection.Use(kRecentDays);
      days.Bind(1, item.id).Bind(2, query.first_day);
      while (days.Step()) {
        item.days.push_back({days.Int(0), static_cast<std::uint64_t>(days.Int(1))});
      }
    }
    auto versions = m_connection.Use(kIdentityVersions);
    versions.Bind(1, item.key.kind)
        .Bind(2, std::int64_t{item.key.error_code})
        .Bind(3, item.key.message);
    while (versions.Step()) item.identity_versions.push_back(versions.Text(0));
  }
  return page;
}

std::vector<IdentityInVersion> SqliteDashboardReader::ListIdentityVersions(const ItemKey& key) {
  SqliteTransaction snapshot(m_connection, TransactionKind::kRead);
  std::map<std::string, IdentityInVersion> versions;
  for (const char* sql : {kIdentityCounts, kIdentityClients}) {
    auto rows = m_connection.Use(sql);
    rows.Bind(1, key.kind).Bind(2, std::int64_t{key.error_code}).Bind(3, key.message);
    while (rows.Step()) {
      IdentityInVersion& version = versions[rows.Text(0)];
      version.product_ver = rows.Text(0);
      if (sql == kIdentityCounts) {
        version.count = static_cast<std::uint64_t>(rows.Int(1));
        version.items = static_cast<std::uint64_t>(rows.Int(2));
      } else {
        version.clients = static_cast<std::uint64_t>(rows.Int(1));
      }
    }
  }
  std::vector<IdentityInVersion> list;
  for (auto& [name, version] : versions) list.push_back(std::move(version));
  return list;
}

}  // namespace intake
