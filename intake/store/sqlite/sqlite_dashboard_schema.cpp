#include "store/sqlite/sqlite_dashboard_schema.h"

namespace intake {

// - version_stats: uploads, clients, items and occurrences (account records
//   excluded) per product version.
// - version_clients: who sent an upload naming the version; its insert
//   trigger counts a client once.
// - version_days: occurrences per version and UTC day.
// - version_facets: each version's kinds (0), DLLVers (1) and AppVers (2).
// - items_text: a trigram index over message and value, for substring search.
// - items_by_version_*: a version's items in each sort order.
// - items_by_identity: where a kind, code and message occur, for "new".
// Account records are known as the fold knows them: Warning, code 10901 to
// 10904 and the library's fixed message.
#define INTAKE_NOT_ACCOUNT(item)                                                 \
  "NOT (" item ".kind = 'Warning' AND (" item ".error_code, " item               \
  ".message) IN (VALUES "                                                        \
  "(10901, 'Records were not kept: the day''s log reached its size cap'), "      \
  "(10902, 'Records were not kept: the log was busy or could not be written'), " \
  "(10903, 'Records were not kept: the pending log was full'), "                 \
  "(10904, 'A record was cut: its writer stopped in the middle of it')))"

const char kSqliteDashboardStep[] =
    R"sql(
CREATE TABLE version_stats (
  product_ver TEXT PRIMARY KEY,
  uploads INTEGER NOT NULL DEFAULT 0,
  clients INTEGER NOT NULL DEFAULT 0,
  items INTEGER NOT NULL DEFAULT 0,
  occurrences INTEGER NOT NULL DEFAULT 0
) WITHOUT ROWID;
CREATE TABLE version_clients (
  product_ver TEXT NOT NULL,
  client TEXT NOT NULL,
  PRIMARY KEY (product_ver, client)
) WITHOUT ROWID;
CREATE TABLE version_days (
  product_ver TEXT NOT NULL,
  day INTEGER NOT NULL,
  occurrences INTEGER NOT NULL,
  PRIMARY KEY (product_ver, day)
) WITHOUT ROWID;
CREATE TABLE version_facets (
  product_ver TEXT NOT NULL,
  facet INTEGER NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY (product_ver, facet, value)
) WITHOUT ROWID;
CREATE INDEX items_by_version_count ON items (product_ver, count, id);
CREATE INDEX items_by_version_clients ON items (product_ver, clients, id);
CREATE INDEX items_by_version_last_seen ON items (product_ver, last_seen, id);
CREATE INDEX items_by_identity ON items (kind, error_code, message, product_ver);
CREATE VIRTUAL TABLE items_text USING fts5(
  message, value, content = 'items', content_rowid = 'id', tokenize = 'trigram');

-- Back-fill from what the store holds.
INSERT INTO version_clients (product_ver, client)
  SELECT DISTINCT v.product_ver, u.client FROM upload_versions v JOIN uploads u ON u.key = v.upload_key;
INSERT INTO version_stats (product_ver) SELECT DISTINCT product_ver FROM items
  UNION SELECT DISTINCT product_ver FROM upload_versions;
UPDATE version_stats SET
  uploads = (SELECT count(*) FROM upload_versions v WHERE v.product_ver = version_stats.product_ver),
  clients = (SELECT count(*) FROM version_clients c WHERE c.product_ver = version_stats.product_ver),
  items = (SELECT count(*) FROM items i WHERE i.product_ver = version_stats.product_ver),
  occurrences = (SELECT coalesce(sum(count), 0) FROM items i
                 WHERE i.product_ver = version_stats.product_ver AND )sql" INTAKE_NOT_ACCOUNT(
        "i") R"sql();
INSERT INTO version_days (product_ver, day, occurrences)
  SELECT i.product_ver, d.day, sum(d.count) FROM item_days d JOIN items i ON i.id = d.item_id
  WHERE )sql" INTAKE_NOT_ACCOUNT("i") R"sql( GROUP BY i.product_ver, d.day;
INSERT INTO version_facets (product_ver, facet, value)
  SELECT DISTINCT product_ver, 0, kind FROM items
  UNION SELECT DISTINCT product_ver, 1, dll_ver FROM items
  UNION SELECT DISTINCT product_ver, 2, app_ver FROM items;
INSERT INTO items_text (items_text) VALUES ('rebuild');

-- Kept up to date by the commit's transaction from here on.
CREATE TRIGGER upload_versions_counted AFTER INSERT ON upload_versions BEGIN
  INSERT INTO version_stats (product_ver, uploads) VALUES (NEW.product_ver, 1)
    ON CONFLICT (product_ver) DO UPDATE SET uploads = uploads + 1;
  INSERT INTO version_clients (product_ver, client)
    SELECT NEW.product_ver, client FROM uploads WHERE key = NEW.upload_key
    ON CONFLICT DO NOTHING;
END;
CREATE TRIGGER version_clients_counted AFTER INSERT ON version_clients BEGIN
  UPDATE version_stats SET clients = clients + 1 WHERE product_ver = NEW.product_ver;
END;
CREATE TRIGGER items_counted AFTER INSERT ON items BEGIN
  INSERT INTO version_stats (product_ver, items) VALUES (NEW.product_ver, 1)
    ON CONFLICT (product_ver) DO UPDATE SET items = items + 1;
  INSERT INTO version_facets (product_ver, facet, value)
    VALUES (NEW.product_ver, 0, NEW.kind), (NEW.product_ver, 1, NEW.dll_ver),
           (NEW.product_ver, 2, NEW.app_ver)
    ON CONFLICT DO NOTHING;
  INSERT INTO items_text (rowid, message, value) VALUES (NEW.id, NEW.message, NEW.value);
END;
CREATE TRIGGER item_days_added AFTER INSERT ON item_days BEGIN
  INSERT INTO version_days (product_ver, day, occurrences)
    SELECT i.product_ver, NEW.day, NEW.count FROM items i
    WHERE i.id = NEW.item_id AND )sql" INTAKE_NOT_ACCOUNT("i") R"sql(
    ON CONFLICT (product_ver, day) DO UPDATE SET occurrences = occurrences + excluded.occurrences;
  UPDATE version_stats SET occurrences = occurrences + NEW.count
    WHERE product_ver = (SELECT i.product_ver FROM items i
                         WHERE i.id = NEW.item_id AND )sql" INTAKE_NOT_ACCOUNT("i") R"sql();
END;
CREATE TRIGGER item_days_grown AFTER UPDATE OF count ON item_days BEGIN
  UPDATE version_days SET occurrences = occurrences + NEW.count - OLD.count
    WHERE day = NEW.day AND product_ver = (SELECT i.product_ver FROM items i
                         WHERE i.id = NEW.item_id AND )sql" INTAKE_NOT_ACCOUNT("i") R"sql();
  UPDATE version_stats SET occurrences = occurrences + NEW.count - OLD.count
    WHERE product_ver = (SELECT i.product_ver FROM items i
                         WHERE i.id = NEW.item_id AND )sql" INTAKE_NOT_ACCOUNT("i") R"sql();
END;
)sql";

}  // namespace intake
