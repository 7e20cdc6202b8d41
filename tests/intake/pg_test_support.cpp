#include "pg_test_support.h"

#include "fresh_store_url.h"

#include <unistd.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <fstream>
#include <memory>

namespace intake::test {
namespace {

struct ConnCloser {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};

}  // namespace

std::optional<std::string> TestServerUrl() {
  const char* url = std::getenv("INTAKE_TEST_PG_URL");
  if (url == nullptr || *url == '\0') return std::nullopt;
  return std::string(url);
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

ScratchDatabase::ScratchDatabase(const std::string& server_url) {
  std::string error;
  std::optional<FreshStore> fresh = MakeFreshStoreUrl(server_url, &error);
  if (fresh) {
    m_url = fresh->url;
    m_remove = fresh->remove;
  }
}

ScratchDatabase::~ScratchDatabase() {
  if (m_remove) m_remove();
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
