// Reports as the library's writer builds them, for the benchmark: a typical
// one (20 items, about 5 KB) and a full-size one (the report of an
// all-distinct 25 MiB pending log: about 91,000 items, 9 MB).
#pragma once

#include <cstddef>
#include <string>

namespace intake::bench {

struct BenchReport {
  std::string client;
  std::string body;
  std::string key;
  std::size_t items = 0;
};

// `serial` makes each report distinct (its key), as each day's report is.
BenchReport TypicalReport(const std::string& client, std::size_t serial);
BenchReport FullSizeReport(const std::string& client, std::size_t serial);

std::string ClientUuid(std::size_t n);

}  // namespace intake::bench
