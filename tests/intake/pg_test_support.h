// What the PostgreSQL store's tests share: a scratch database on the test
// server (INTAKE_TEST_PG_URL, set by the test command's throwaway cluster),
// a cluster of a test's own that it may stop and start, and uploads.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fold/folded_upload.h"

namespace intake::test {

// The server the test command started, or nothing (the tests then skip).
std::optional<std::string> TestServerUrl();

// A database of its own on the server at `server_url`, dropped at the end.
class ScratchDatabase {
 public:
  explicit ScratchDatabase(const std::string& server_url);  // url() empty on failure
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;
  const std::string& url() const { return m_url; }

 private:
  std::string m_url;
  std::function<void()> m_remove;
};

// A cluster of the test's own (scripts/pg-cluster.sh), removed at the end.
class ScratchCluster {
 public:
  ScratchCluster();
  ~ScratchCluster();
  ScratchCluster(const ScratchCluster&) = delete;
  ScratchCluster& operator=(const ScratchCluster&) = delete;
  bool started() const { return !m_url.empty(); }
  const std::string& url() const { return m_url; }
  bool Pause();   // stops the server, keeps its data
  bool Resume();  // starts it again

 private:
  bool Script(const std::string& function);
  std::string m_dir;
  std::string m_url;
};

// Runs one query on its own session; the first column of the first row as
// a number, or -1 when the query failed.
std::int64_t QueryNumber(const std::string& url, const std::string& sql);

// An upload of `client` holding `items` distinct items named by number,
// each with `count`.
FoldedUpload MakeUpload(const std::string& key, const std::string& client,
                        const std::vector<int>& items, std::uint64_t count = 1);

}  // namespace intake::test
