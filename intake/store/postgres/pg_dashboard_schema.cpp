#include "store/postgres/pg_dashboard_schema.h"

namespace intake::pg {

// Many nodes commit at once, so no row is updated by every commit: the
// figures per version go into version_deltas, insert only, and readers sum
// them (CompactVersionDeltas keeps that short). Day 0 holds what belongs to
// no day shown (uploads, clients, items, and occurrences of pruned days).
// - version_clients: who sent an upload naming the version, once.
// - version_facets: each version's kinds (0), DLLVers (1) and AppVers (2).
// - items_text: pg_trgm over message and value, for substring search.
// - items_by_identity: where a kind, code and message occur, for "new"; the
//   message by its md5, since a B-tree entry cannot hold a long message.
// Account records are known as the fold knows them: Warning, code 10901 to
// 10904 and the library's fixed message.
#define INTAKE_NOT_ACCOUNT(item)                                                 \
  "NOT (" item ".kind = 'Warning' AND (" item ".error_code, " item               \
  ".message) IN (VALUES "                                                        \
  "(10901, 'Records were not kept: the day''s log reached its size cap'), "      \
  "(10902, 'Records were not kept: the log was busy or could not be written'), " \
  "(10903, 'Records were not kept: the pending log was full'), "                 \
  "(10904, 'A record was cut: its writer stopped in the middle of it')))"

const char kDashboardStep[] = R"sql(
CREATE EXTENSION IF NOT EXISTS pg_trgm;
CREATE TABLE version_deltas (
  product_ver text NOT NULL,
  day bigint NOT NULL,
  uploads bigint NOT NULL DEFAULT 0,
  clients bigint NOT NULL DEFAULT 0,
  items bigint NOT NULL DEFAULT 0,
  occurrences bigint NOT NULL DEFAULT 0
);
CREATE INDEX version_deltas_by_version ON version_deltas (product_ver, day);
CREATE TABLE version_clients (
  product_ver text NOT NULL,
  client text NOT NULL,
  PRIMARY KEY (product_ver, client)
);
CREATE TABLE version_facets (
  product_ver text NOT NULL,
  facet integer NOT NULL,
  value text NOT NULL,
  PRIMARY KEY (product_ver, facet, value)
);
CREATE INDEX items_by_version_count ON items (product_ver, count, id);
CREATE INDEX items_by_version_clients ON items (product_ver, clients, id);
CREATE INDEX items_by_version_last_seen ON items (product_ver, last_seen, id);
CREATE INDEX items_by_identity ON items (kind, error_code, md5(message), product_ver);
CREATE INDEX items_text ON items USING gin (message gin_trgm_ops, value gin_trgm_ops);

INSERT INTO version_clients (product_ver, client)
  SELECT DISTINCT v.product_ver, u.client FROM upload_versions v JOIN uploads u ON u.key = v.upload_key;
INSERT INTO version_deltas (product_ver, day, uploads)
  SELECT product_ver, 0, count(*) FROM upload_versions GROUP BY product_ver;
INSERT INTO version_deltas (product_ver, day, clients)
  SELECT product_ver, 0, count(*) FROM version_clients GROUP BY product_ver;
INSERT INTO version_deltas (product_ver, day, items, occurrences)
  SELECT i.product_ver, 0, count(*), sum(i.count) - coalesce(sum(d.kept), 0) FROM items i
  LEFT JOIN (SELECT item_id, sum(count) AS kept FROM item_days GROUP BY item_id) d ON d.item_id = i.id
  WHERE )sql" INTAKE_NOT_ACCOUNT("i") R"sql( GROUP BY i.product_ver;
INSERT INTO version_deltas (product_ver, day, items)
  SELECT i.product_ver, 0, count(*) FROM items i
  WHERE NOT )sql" INTAKE_NOT_ACCOUNT("i") R"sql( GROUP BY i.product_ver;
INSERT INTO version_deltas (product_ver, day, occurrences)
  SELECT i.product_ver, d.day, sum(d.count) FROM item_days d JOIN items i ON i.id = d.item_id
  WHERE )sql" INTAKE_NOT_ACCOUNT("i") R"sql( GROUP BY i.product_ver, d.day;
INSERT INTO version_facets (product_ver, facet, value)
  SELECT DISTINCT product_ver, 0, kind FROM items
  UNION SELECT DISTINCT product_ver, 1, dll_ver FROM items
  UNION SELECT DISTINCT product_ver, 2, app_ver FROM items;

CREATE FUNCTION dashboard_upload_versions() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  WITH fresh AS (
    INSERT INTO version_clients (product_ver, client)
    SELECT DISTINCT a.product_ver, u.client FROM added a JOIN uploads u ON u.key = a.upload_key
    ON CONFLICT DO NOTHING RETURNING product_ver)
  INSERT INTO version_deltas (product_ver, day, uploads, clients)
  SELECT v.product_ver, 0, v.n, coalesce(f.n, 0)
  FROM (SELECT product_ver, count(*) AS n FROM added GROUP BY product_ver) v
  LEFT JOIN (SELECT product_ver, count(*) AS n FROM fresh GROUP BY product_ver) f
  USING (product_ver);
  RETURN NULL;
END $$;
CREATE TRIGGER upload_versions_counted AFTER INSERT ON upload_versions
  REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION dashboard_upload_versions();

CREATE FUNCTION dashboard_items() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO version_deltas (product_ver, day, items)
    SELECT product_ver, 0, count(*) FROM added GROUP BY product_ver;
  INSERT INTO version_facets (product_ver, facet, value)
    SELECT product_ver, 0, kind FROM added
    UNION SELECT product_ver, 1, dll_ver FROM added
    UNION SELECT product_ver, 2, app_ver FROM added
    ORDER BY 1, 2, 3 ON CONFLICT DO NOTHING;
  RETURN NULL;
END $$;
CREATE TRIGGER items_counted AFTER INSERT ON items
  REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION dashboard_items();

CREATE FUNCTION dashboard_days_added() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO version_deltas (product_ver, day, occurrences)
    SELECT i.product_ver, a.day, sum(a.count) FROM added a JOIN items i ON i.id = a.item_id
    WHERE )sql" INTAKE_NOT_ACCOUNT("i") R"sql( GROUP BY i.product_ver, a.day;
  RETURN NULL;
END $$;
CREATE TRIGGER item_days_added AFTER INSERT ON item_days
  REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION dashboard_days_added();

CREATE FUNCTION dashboard_days_grown() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  INSERT INTO version_deltas (product_ver, day, occurrences)
    SELECT i.product_ver, a.day, sum(a.count - b.count) FROM grown a
    JOIN was b ON b.item_id = a.item_id AND b.day = a.day
    JOIN items i ON i.id = a.item_id
    WHERE )sql" INTAKE_NOT_ACCOUNT("i") R"sql( GROUP BY i.product_ver, a.day;
  RETURN NULL;
END $$;
CREATE TRIGGER item_days_grown AFTER UPDATE ON item_days
  REFERENCING OLD TABLE AS was NEW TABLE AS grown FOR EACH STATEMENT
  EXECUTE FUNCTION dashboard_days_grown();
)sql";

bool CompactVersionDeltas(Connection& conn) {
  return conn
      .Run(
          "WITH gone AS (DELETE FROM version_deltas RETURNING *) "
          "INSERT INTO version_deltas (product_ver, day, uploads, clients, items, occurrences) "
          "SELECT product_ver, day, sum(uploads), sum(clients), sum(items), sum(occurrences) "
          "FROM gone GROUP BY product_ver, day")
      .ok();
}

}  // namespace intake::pg
