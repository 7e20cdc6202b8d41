// Fresh stores on PostgreSQL for the store table: a new database on the
// server that the base URL names, dropped when the case ends.
#include <unistd.h>
#include <libpq-fe.h>

#include <memory>
#include <random>

#include "fresh_store_url.h"

namespace intake::test {
namespace {

struct ConnCloser {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};

// `url` with its database name replaced.
std::string WithDatabase(const std::string& url, const std::string& database) {
  const auto scheme = url.find("://");
  const auto slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (slash == std::string::npos) return url + "/" + database;
  const auto end = url.find('?', slash);
  return url.substr(0, slash + 1) + database + (end == std::string::npos ? "" : url.substr(end));
}

bool RunOnServer(const std::string& base, const std::string& sql, std::string* error) {
  std::unique_ptr<PGconn, ConnCloser> conn(PQconnectdb(WithDatabase(base, "postgres").c_str()));
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    *error = PQerrorMessage(conn.get());
    return false;
  }
  std::unique_ptr<PGresult, ResultClearer> result(PQexec(conn.get(), sql.c_str()));
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
    *error = PQresultErrorMessage(result.get());
    return false;
  }
  return true;
}

std::optional<FreshStore> MakeFreshDatabase(const std::string& base, std::string* error) {
  const std::string name = "intake_test_" + std::to_string(getpid()) + "_" +
                           std::to_string(std::random_device{}() % 100000000);
  if (!RunOnServer(base, "CREATE DATABASE " + name, error)) return std::nullopt;
  return FreshStore{WithDatabase(base, name), [base, name] {
                      std::string ignored;
                      RunOnServer(base, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)",
                                  &ignored);
                    }};
}

const bool registered = RegisterFreshStoreMaker("postgresql:", MakeFreshDatabase) &&
                        RegisterFreshStoreMaker("postgres:", MakeFreshDatabase);

}  // namespace
}  // namespace intake::test
