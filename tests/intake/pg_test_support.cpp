#include "pg_test_support.h"

#include <unistd.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

namespace intake::test {
namespace {

struct ConnCloser {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};

std::string RandomSuffix() {
  std::random_device device;
  return std::to_string(getpid()) + "_" + std::to_string(device() % 1000000);
}

bool Run(const std::string& url, const std::string& sql) { return QueryNumber(url, sql) != -1; }

}  // namespace

std::optional<std::string> TestServerUrl() {
  const char* url = std::getenv("INTAKE_TEST_PG_URL");
  if (url == nullptr || *url == '\0') return std::nullopt;
  return std::string(url);
}

std::string WithDatabase(const std::string& url, const std::string& database) {
  const auto scheme = url.find("://");
  const auto slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (slash == std::string::npos) return url + "/" + database;
  const auto end = url.find('?', slash);
  return url.substr(0, slash + 1) + database + (end == std::string::npos ? "" : url.substr(end));
}

std::int64_t QueryNumber(const std::string& url, const std::string& sql) {
  std::unique_ptr<PGconn, ConnCloser> conn(PQconnectdb(url.c_str()));
  if (PQstatus(conn.get()) != CONNECTION_OK) return -1;
  std::unique_ptr<PGresult, ResultClearer> result(PQexec(conn.get(), sql.c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status == PGRES_COMMAND_OK) return 0;
  if (status != PGRES_TUPLES_OK) return -1;
  if (PQntuples(result.get()) == 0 || PQgetisnull(result.get(), 0, 0)) return 0;
  return std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10);
}

ScratchDatabase::ScratchDatabase(const std::string& server_url)
    : m_server_url(WithDatabase(server_url, "postgres")),
      m_name("intake_test_" + RandomSuffix()),
      m_url(WithDatabase(server_url, m_name)) {
  Run(m_server_url, "CREATE DATABASE " + m_name);
}

ScratchDatabase::~ScratchDatabase() {
  Run(m_server_url, "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
}

ScratchCluster::ScratchCluster() {
  char dir[] = "/tmp/intake-pg-test-XXXXXX";
  if (mkdtemp(dir) == nullptr) return;
  m_dir = dir;
  if (!Script("pg_start")) return;
  std::ifstream port(m_dir + "/port");
  std::string number;
  port >> number;
  m_url = "postgresql://intake@/intake?host=" + m_dir + "&port=" + number;
}

ScratchCluster::~ScratchCluster() {
  if (!m_dir.empty()) Script("pg_stop");
}

bool ScratchCluster::Pause() { return Script("pg_pause"); }
bool ScratchCluster::Resume() { return Script("pg_resume"); }

bool ScratchCluster::Script(const std::string& function) {
  const std::string command = "bash -c 'source \"" INTAKE_PG_CLUSTER_SCRIPT "\" && " + function +
                              " \"" + m_dir + "\"' >/dev/null";
  return std::system(command.c_str()) == 0;
}

FoldedUpload MakeUpload(const std::string& key, const std::string& client,
                        const std::vector<int>& items, std::uint64_t count) {
  FoldedUpload upload;
  upload.key = key;
  upload.client = client;
  upload.bytes = 100 * items.size();
  upload.product_versions = {"5.2.0.1"};
  for (int item : items) {
    FoldedItem folded;
    folded.key = {"5.2.0.1",    "Error",   1000 + item, "message " + std::to_string(item),
                  std::nullopt, "1.0.0.1", "2.0.0.2"};
    folded.count = count;
    upload.items.push_back(folded);
  }
  return upload;
}

}  // namespace intake::test
