#include "bench_database.h"

#include <stdexcept>

#include "store/postgres/pg_connection.h"

namespace intake::bench {

namespace {

// `url` with its database name replaced.
std::string WithDatabase(const std::string& url, const std::string& database) {
  const auto scheme = url.find("://");
  const auto slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (slash == std::string::npos) return url + "/" + database;
  const auto end = url.find('?', slash);
  return url.substr(0, slash + 1) + database + (end == std::string::npos ? "" : url.substr(end));
}

std::string RunOnServer(const std::string& base, const std::string& sql) {
  std::string error;
  auto db = pg::Connection::Open(WithDatabase(base, "postgres"), &error);
  if (!db) return error;
  const auto result = db->Run(sql.c_str());
  return result.ok() ? std::string() : result.message();
}

}  // namespace

BenchDatabase::BenchDatabase(const std::string& base_url, const std::string& name)
    : m_base(base_url), m_name(name), m_url(WithDatabase(base_url, name)) {
  // A database left by an interrupted run goes first.
  std::string error = RunOnServer(m_base, "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
  if (error.empty()) error = RunOnServer(m_base, "CREATE DATABASE " + m_name);
  if (!error.empty()) throw std::runtime_error("creating database " + m_name + ": " + error);
}

BenchDatabase::~BenchDatabase() {
  RunOnServer(m_base, "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
}

std::int64_t BenchDatabase::CountUploads() const {
  std::string error;
  auto db = pg::Connection::Open(m_url, &error);
  if (!db) throw std::runtime_error(error);
  const auto result = db->Run("SELECT count(*) FROM uploads");
  if (!result.ok() || result.rows() != 1) throw std::runtime_error(result.message());
  return result.int64(0, 0);
}

}  // namespace intake::bench
