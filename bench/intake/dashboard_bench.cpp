// The dashboard's pages over a large store: 1 million items, 10 million day
// rows, 100 thousand clients in 20 product versions (the largest with
// 200,000 items), filled directly with SQL, not through HTTP. Prints the
// median and the worst of 20 loads of each page, timed around the page's
// rendering and its store reads: the server's time, without the network.
//   intake_dashboard_bench sqlite:PATH | postgresql://...  [--scale F]
// A store already filled at the URL is used as it is.
// GCC 12 sees an overlap in std::string's operator+ chains at -O3 that is
// not there (its bug 105329); the fill's SQL is built from such chains.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dashboard/dashboard.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_schema.h"
#include "store/store.h"
#include "store/utc_day.h"
#ifdef INTAKE_HAVE_POSTGRES
#include "store/postgres/pg_connection.h"
#include "store/postgres/pg_day_partitions.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using intake::kSecondsPerDay;

struct Shape {
  std::int64_t items = 1'000'000;
  std::int64_t days_per_item = 10;
  std::int64_t clients = 100'000;
  std::int64_t versions = 20;
  std::int64_t largest = 200'000;
  std::int64_t uploads = 200'000;
};

std::int64_t Now() { return std::time(nullptr); }

std::string Version(std::int64_t i) { return "2." + std::to_string(i) + ".0.0"; }

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Item k's version: the first `largest` items are the largest version's.
std::string VersionSql(const Shape& s, const char* k) {
  const std::string rest = std::to_string(s.versions - 1);
  return "CASE WHEN " + std::string(k) + " <= " + std::to_string(s.largest) + " THEN '2." +
         std::to_string(s.versions - 1) + ".0.0' ELSE '2.' || ((" + k + ") % " + rest +
         ") || '.0.0' END";
}

// SQLite: the first schema's tables in bulk, then the open upgrades them to
// this build's schema and back-fills the summaries (timed: the upgrade of
// an older store of this size).
void FillSqlite(const std::string& path, const Shape& s) {
  const std::int64_t today = intake::UtcDayNumber(Now());
  {
    intake::SqliteConnection db(path);
    intake::UpgradeSchema(db, 1);
    db.Exec("PRAGMA synchronous=OFF");
    db.Exec("PRAGMA cache_size=-400000");
    const auto started = Clock::now();
    intake::SqliteTransaction fill(db);
    const std::string v = VersionSql(s, "value");
    const std::string items =
        "WITH RECURSIVE n(value) AS (SELECT 1 UNION ALL SELECT value + 1 FROM n WHERE value < " +
        std::to_string(s.items) +
        ") INSERT INTO items SELECT value, CAST(printf('%032x', value) AS BLOB), " + v +
        ", CASE value % 3 WHEN 0 THEN 'Error' WHEN 1 THEN 'Warning' ELSE 'Info' END, "
        "CASE WHEN value % 7 = 0 THEN -2147024891 + value % 500 ELSE 20000 + value % 500 END, "
        "'Cannot open the media file number ' || (value % 50000) || ' in the library', "
        "'D:\\media\\clip' || value || '.avi', '3.' || (value % 5) || '.0.0', "
        "'1.' || (value % 4) || '.0.0', 1 + (value * 7919) % 1000, 1 + value % 40, " +
        std::to_string((today - 89) * kSecondsPerDay) + " + value % 1000, " +
        std::to_string(today * kSecondsPerDay) + " - value % 80000 FROM n";
    db.Exec(items.c_str());
    const std::string clients =
        "WITH RECURSIVE n(value) AS (SELECT 1 UNION ALL SELECT value + 1 FROM n WHERE value < " +
        std::to_string(s.clients) + ") INSERT INTO clients SELECT value, 'client-' || value FROM n";
    db.Exec(clients.c_str());
    const std::string item_clients = "INSERT INTO item_clients SELECT id, 1 + (id * 31) % " +
                                     std::to_string(s.clients) +
                                     " FROM items UNION ALL SELECT id, 1 + (id * 97 + 13) % " +
                                     std::to_string(s.clients) + " FROM items";
    db.Exec(item_clients.c_str());
    const std::string days =
        "WITH RECURSIVE j(value) AS (SELECT 0 UNION ALL SELECT value + 1 FROM j WHERE value < " +
        std::to_string(s.days_per_item - 1) + ") INSERT INTO item_days SELECT i.id, " +
        std::to_string(today) + " - ((i.id + j.value * 7) % 90), 1 + (i.id + j.value) % 20 " +
        "FROM items i, j ORDER BY 1, 2";
    db.Exec(days.c_str());
    const std::string uploads =
        "WITH RECURSIVE n(value) AS (SELECT 1 UNION ALL SELECT value + 1 FROM n WHERE value < " +
        std::to_string(s.uploads) +
        ") INSERT INTO uploads SELECT 'u' || value, 'client-' || (1 + value % " +
        std::to_string(s.clients) + "), " + std::to_string(today * kSecondsPerDay) +
        " - value % 7000000, 20, 5000 FROM n";
    db.Exec(uploads.c_str());
    const std::string versions =
        "INSERT INTO upload_versions SELECT '2.' || (CAST(substr(key, 2) AS INTEGER) % " +
        std::to_string(s.versions) + ") || '.0.0', key, 0 FROM uploads";
    db.Exec(versions.c_str());
    const std::string losses =
        "WITH RECURSIVE d(value) AS (SELECT 0 UNION ALL SELECT value + 1 FROM d WHERE value < 89), "
        "v(value) AS (SELECT 0 UNION ALL SELECT value + 1 FROM v WHERE value < " +
        std::to_string(s.versions - 1) +
        "), c(value) AS (VALUES (10901), (10902), (10903), (10904)) "
        "INSERT INTO losses SELECT c.value, '2.' || v.value || '.0.0', " +
        std::to_string(today) + " - d.value, 1 + (d.value * v.value) % 9 FROM c, v, d";
    db.Exec(losses.c_str());
    fill.Commit();
    std::printf("filled the first schema's tables in %.1f s\n", Seconds(started));
  }
}

#ifdef INTAKE_HAVE_POSTGRES
// PostgreSQL: the store made at this build's schema, then filled by SQL;
// the statement triggers fold each bulk statement into the summaries.
bool FillPostgres(const std::string& url, const Shape& s) {
  std::string error;
  auto db = intake::pg::Connection::Open(url, &error);
  if (!db) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  const std::int64_t today = intake::UtcDayNumber(Now());
  const auto started = Clock::now();
  intake::pg::DayPartitions partitions;
  for (std::int64_t d = today - 89; d <= today; ++d) {
    if (!partitions.Ensure(*db, d, &error)) {
      std::fprintf(stderr, "partitions: %s\n", error.c_str());
      return false;
    }
  }
  // The store's sessions bound each statement; a bulk fill takes longer.
  std::vector<std::string> steps = {"SET statement_timeout = 0"};
  const std::string v = VersionSql(s, "g");
  steps.push_back(
      "INSERT INTO items (id, key_hash, product_ver, kind, error_code, message, value, dll_ver, "
      "app_ver, count, clients, first_seen, last_seen) OVERRIDING SYSTEM VALUE SELECT g, "
      "decode(lpad(to_hex(g), 32, '0'), 'hex'), " +
      v +
      ", CASE g % 3 WHEN 0 THEN 'Error' WHEN 1 THEN 'Warning' ELSE 'Info' END, "
      "CASE WHEN g % 7 = 0 THEN -2147024891 + g % 500 ELSE 20000 + g % 500 END, "
      "'Cannot open the media file number ' || (g % 50000) || ' in the library', "
      "'D:\\media\\clip' || g || '.avi', '3.' || (g % 5) || '.0.0', '1.' || (g % 4) || '.0.0', "
      "1 + (g * 7919) % 1000, 1 + g % 40, " +
      std::to_string((today - 89) * kSecondsPerDay) + " + g % 1000, " +
      std::to_string(today * kSecondsPerDay) +
      " - g % 80000 "
      "FROM generate_series(1::bigint, " +
      std::to_string(s.items) + ") g");
  steps.push_back("SELECT setval(pg_get_serial_sequence('items', 'id'), " +
                  std::to_string(s.items) + ")");
  steps.push_back(
      "INSERT INTO clients (id, name) OVERRIDING SYSTEM VALUE SELECT g, 'client-' || g "
      "FROM generate_series(1::bigint, " +
      std::to_string(s.clients) + ") g");
  steps.push_back("SELECT setval(pg_get_serial_sequence('clients', 'id'), " +
                  std::to_string(s.clients) + ")");
  steps.push_back("INSERT INTO item_clients SELECT id, 1 + (id * 31) % " +
                  std::to_string(s.clients) + " FROM items UNION SELECT id, 1 + (id * 97 + 13) % " +
                  std::to_string(s.clients) + " FROM items");
  steps.push_back("INSERT INTO item_days SELECT i.id, " + std::to_string(today) +
                  " - ((i.id + j * 7) % 90), 1 + (i.id + j) % 20 FROM items i, "
                  "generate_series(0, " +
                  std::to_string(s.days_per_item - 1) + ") j");
  steps.push_back("INSERT INTO uploads SELECT 'u' || g, 'client-' || (1 + g % " +
                  std::to_string(s.clients) + "), " + std::to_string(today * kSecondsPerDay) +
                  " - g % 7000000, 20, 5000 FROM generate_series(1::bigint, " +
                  std::to_string(s.uploads) + ") g");
  steps.push_back("INSERT INTO upload_versions SELECT '2.' || (substr(key, 2)::bigint % " +
                  std::to_string(s.versions) + ") || '.0.0', key, 0 FROM uploads");
  steps.push_back("INSERT INTO losses SELECT c, '2.' || v || '.0.0', " + std::to_string(today) +
                  " - d, 1 + (d * v) % 9 FROM unnest(ARRAY[10901, 10902, 10903, 10904]) c, "
                  "generate_series(0, " +
                  std::to_string(s.versions - 1) + ") v, generate_series(0, 89) d");
  steps.push_back("ANALYZE");
  for (const std::string& step : steps) {
    const auto result = db->Run(step.c_str());
    if (!result.ok()) {
      std::fprintf(stderr, "fill: %s\n  in %.120s\n", result.message().c_str(), step.c_str());
      return false;
    }
  }
  std::printf("filled the store by SQL in %.1f s\n", Seconds(started));
  return true;
}
#endif

std::int64_t Count(intake::Store& store, const std::string& version) {
  intake::VersionItemQuery query;
  query.product_ver = version;
  query.limit = 1;
  auto page = store.ListVersionItems(query);
  return page.value.items.empty() ? 0 : page.value.items[0].id;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: intake_dashboard_bench sqlite:PATH|postgresql://... [--scale F]\n");
    return 2;
  }
  const std::string url = argv[1];
  Shape shape;
  if (argc >= 4 && std::strcmp(argv[2], "--scale") == 0) {
    const double f = std::atof(argv[3]);
    shape.items = static_cast<std::int64_t>(shape.items * f);
    shape.clients = static_cast<std::int64_t>(shape.clients * f);
    shape.largest = static_cast<std::int64_t>(shape.largest * f);
    shape.uploads = static_cast<std::int64_t>(shape.uploads * f);
  }
  std::string error;
  const bool sqlite = url.starts_with("sqlite:");
  bool filled = false;
  {
    auto probe = sqlite ? nullptr : intake::OpenStore(url, &error);
    if (sqlite) {
      intake::SqliteConnection db(url.substr(7));
      auto rows = db.Use("SELECT count(*) FROM sqlite_schema WHERE name = 'items'");
      filled = rows.Step() && rows.Int(0) > 0;
    } else if (!probe) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    } else {
      auto versions = probe->ListVersions(0);
      filled = !versions.value.empty();
    }
  }
  if (!filled) {
    if (sqlite) {
      FillSqlite(url.substr(7), shape);
    } else {
#ifdef INTAKE_HAVE_POSTGRES
      if (!FillPostgres(url, shape)) return 1;
#endif
    }
  }
  const auto opened = Clock::now();
  auto store = intake::OpenStore(url, &error);
  if (!store) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("opened (upgrade and back-fill when the store was older) in %.1f s\n",
              Seconds(opened));

  intake::dashboard::Dashboard dashboard(*store, [](std::string_view) { return true; });
  const std::string largest = Version(shape.versions - 1);
  const std::int64_t item = Count(*store, largest);
  const std::vector<std::pair<const char*, std::string>> pages = {
      {"overview", "/"},
      {"largest version, by occurrences", "/products/" + largest},
      {"largest version, by clients", "/products/" + largest + "?sort=clients"},
      {"largest version, by last received", "/products/" + largest + "?sort=last_seen"},
      {"largest version, page 2", ""},
      {"largest version, kind and DLLVer", "/products/" + largest + "?kind=Warning&dll=3.1.0.0"},
      {"largest version, text search", "/products/" + largest + "?q=number%2012345%20in"},
      {"largest version, rare text", "/products/" + largest + "?q=clip4242.avi"},
      {"a small version", "/products/" + Version(3)},
      {"an item", "/items/" + std::to_string(item)},
      {"losses", "/losses"},
  };
  std::printf("\n%-36s %10s %10s   (20 loads each, server time)\n", "page", "median ms",
              "worst ms");
  std::string next_page;
  for (auto [name, target] : pages) {
    if (target.empty()) target = next_page;
    std::vector<double> times;
    unsigned status = 0;
    std::size_t bytes = 0;
    for (int i = 0; i < 20; ++i) {
      const auto started = Clock::now();
      auto answer = dashboard.Handle("GET", target, "intake_token=x", Now());
      times.push_back(Seconds(started) * 1000);
      status = answer.status;
      bytes = answer.body.size();
      if (next_page.empty()) {
        const auto at = answer.body.find("id=\"next\" href=\"");
        if (at != std::string::npos) {
          const auto from = at + 16;
          next_page = answer.body.substr(from, answer.body.find('"', from) - from);
          for (std::size_t amp; (amp = next_page.find("&amp;")) != std::string::npos;) {
            next_page.replace(amp, 5, "&");
          }
        }
      }
    }
    std::sort(times.begin(), times.end());
    std::printf("%-36s %10.1f %10.1f   %u, %zu bytes\n", name, (times[9] + times[10]) / 2,
                times.back(), status, bytes);
  }
  return 0;
}
