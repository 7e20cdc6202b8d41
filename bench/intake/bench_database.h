// A fresh PostgreSQL database for one row of the benchmark: made on the
// server that the base URL names, dropped when its owner goes (after the
// services on it have stopped), and the count of uploads it holds, to check
// that every upload sent was stored once.
#pragma once

#include <cstdint>
#include <string>

namespace intake::bench {

class BenchDatabase {
 public:
  // Throws std::runtime_error when the server refuses.
  BenchDatabase(const std::string& base_url, const std::string& name);
  ~BenchDatabase();
  BenchDatabase(const BenchDatabase&) = delete;
  BenchDatabase& operator=(const BenchDatabase&) = delete;

  const std::string& url() const { return m_url; }
  // The uploads the store holds; throws when it cannot be read.
  std::int64_t CountUploads() const;

 private:
  std::string m_base;
  std::string m_name;
  std::string m_url;
};

}  // namespace intake::bench
