// The intake's benchmark: uploads/s, items/s and the latency of one upload
// at 1, 4 and 16 concurrent senders over loopback, the service's mean group
// size, its peak memory, and beside them the store's own rate for the same
// rows (a plain CommitGroup loop, as many uploads per transaction as the
// service's mean group, the same durability), and that every upload sent
// is in the store. With --store-url each row runs on a fresh database of
// that PostgreSQL server instead of a SQLite file, and one more row runs two
// report-intake processes on one database, the 16 senders split between
// them. Figures go on docs/performance.md.
//
// usage: intake_bench REPORT_INTAKE WORK_DIR [UPLOADS_PER_LEVEL]
//                     [--store-url postgresql://...]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#ifdef INTAKE_HAVE_POSTGRES
#include "bench_database.h"
#endif
#include "bench_reports.h"
#include "contract/read_upload.h"
#include "fold/fold.h"
#include "http_sender.h"
#include "service_process.h"
#include "store/store.h"
#include "store/store_rate.h"

namespace {

using namespace intake;
using namespace intake::bench;
using Clock = std::chrono::steady_clock;

struct LevelResult {
  double seconds = 0;
  std::size_t uploads = 0;
  std::size_t items = 0;
  std::size_t failed = 0;
  double p50_ms = 0;
  double p99_ms = 0;
  double mean_group = 0;
  std::uint64_t peak_kib = 0;
};

std::string FreshFolder(const std::string& work, const std::string& name) {
  const std::filesystem::path path = std::filesystem::path(work) / name;
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path.string();
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(std::ceil(share * values.size())) - 1;
  return values[std::min(index, values.size() - 1)];
}

// Each sender sends its own reports, one after another, on one connection,
// to node s % nodes; every node writes to `store_url`, its log in its folder.
LevelResult RunLevel(const std::string& program, const std::vector<std::string>& folders,
                     const std::string& store_url,
                     const std::vector<std::vector<BenchReport>>& per_sender) {
  std::vector<std::unique_ptr<ServiceProcess>> nodes;
  for (const std::string& folder : folders) {
    nodes.push_back(std::make_unique<ServiceProcess>(program, folder, store_url));
  }
  std::vector<std::vector<double>> latencies(per_sender.size());
  std::vector<std::size_t> failed(per_sender.size());
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (std::size_t s = 0; s < per_sender.size(); ++s) {
    threads.emplace_back([&, s] {
      HttpSender sender("127.0.0.1", nodes[s % nodes.size()]->port());
      for (const BenchReport& report : per_sender[s]) {
        const auto begun = Clock::now();
        const int status = sender.Post(report);
        latencies[s].push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - begun).count());
        if (status != 200) ++failed[s];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  LevelResult result;
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> all;
  for (std::size_t s = 0; s < per_sender.size(); ++s) {
    all.insert(all.end(), latencies[s].begin(), latencies[s].end());
    result.failed += failed[s];
    for (const BenchReport& report : per_sender[s]) result.items += report.items;
  }
  result.uploads = all.size();
  result.p50_ms = Percentile(all, 0.50);
  result.p99_ms = Percentile(all, 0.99);
  // The nodes share the senders evenly: their mean groups weigh the same.
  for (auto& node : nodes) {
    result.peak_kib = std::max(result.peak_kib, node->PeakMemoryKiB());
    result.mean_group += node->StopAndReadMeanGroup() / nodes.size();
  }
  return result;
}

// A row's fresh store: a SQLite file in the row's folder, or a database of
// its own on the PostgreSQL server, dropped when the row ends.
class RowStore {
 public:
  RowStore(const std::string& work, const std::string& base_url, const std::string& name)
      : m_folder(FreshFolder(work, name)) {
    if (base_url.empty()) {
      m_url = "sqlite:" + m_folder + "/intake.db";
      return;
    }
#ifdef INTAKE_HAVE_POSTGRES
    std::string database = "intake_bench_" + name;
    std::replace(database.begin(), database.end(), '-', '_');
    m_database = std::make_unique<BenchDatabase>(base_url, database);
    m_url = m_database->url();
#else
    throw std::runtime_error("this build has no PostgreSQL store");
#endif
  }

  const std::string& folder() const { return m_folder; }
  const std::string& url() const { return m_url; }

  // Prints how many of the reports sent the store holds, each once.
  void PrintStored(const std::vector<std::vector<BenchReport>>& per_sender) const {
    std::string error;
    auto store = OpenStore(m_url, &error);
    if (!store) throw std::runtime_error(error);
    std::size_t sent = 0;
    std::size_t found = 0;
    for (const auto& reports : per_sender) {
      for (const BenchReport& report : reports) {
        ++sent;
        const auto receipt = store->GetUpload(report.key);
        if (receipt.available && receipt.value) ++found;
      }
    }
    long long rows = static_cast<long long>(found);
#ifdef INTAKE_HAVE_POSTGRES
    if (m_database) rows = m_database->CountUploads();
#endif
    const bool once = found == sent && rows == static_cast<long long>(sent);
    std::printf("  stored: %zu of %zu uploads sent found, %lld upload rows%s\n", found, sent, rows,
                once ? "" : " (MISMATCH)");
  }

 private:
  std::string m_folder;
  std::string m_url;
#ifdef INTAKE_HAVE_POSTGRES
  std::unique_ptr<BenchDatabase> m_database;
#endif
};

void Print(const char* what, std::size_t senders, const LevelResult& r) {
  std::printf(
      "%-9s %2zu senders: %6zu uploads in %6.2f s = %8.1f uploads/s, %10.0f items/s,"
      " p50 %7.2f ms, p99 %7.2f ms, mean group %6.2f, peak %6.1f MiB%s\n",
      what, senders, r.uploads, r.seconds, r.uploads / r.seconds, r.items / r.seconds, r.p50_ms,
      r.p99_ms, r.mean_group, r.peak_kib / 1024.0, r.failed ? " (SOME FAILED)" : "");
}

FoldedUpload Folded(const BenchReport& report) {
  const UploadHeaders headers{"application/xml; charset=utf-8", report.key, report.client};
  auto read = ReadUpload(headers, report.body);
  if (!std::holds_alternative<Upload>(read)) {
    std::fprintf(stderr, "intake_bench: the contract refused a benchmark report\n");
    std::exit(1);
  }
  return Fold(std::move(std::get<Upload>(read)));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string base_url;
  for (auto at = args.begin(); at != args.end(); ++at) {
    if (*at == "--store-url" && at + 1 != args.end()) {
      base_url = *(at + 1);
      args.erase(at, at + 2);
      break;
    }
  }
  if (args.size() < 2 || args.size() > 3) {
    std::fprintf(stderr,
                 "usage: intake_bench REPORT_INTAKE WORK_DIR [UPLOADS_PER_LEVEL]"
                 " [--store-url postgresql://...]\n");
    return 2;
  }
  const std::string program = args[0];
  const std::string work = args[1];
  const std::size_t per_level = args.size() > 2 ? std::strtoul(args[2].c_str(), nullptr, 10) : 4000;
  try {
    std::printf("report-intake benchmark on %s: typical report %zu bytes, %zu items\n",
                base_url.empty() ? "SQLite" : "PostgreSQL",
                TypicalReport(ClientUuid(0), 0).body.size(), TypicalReport(ClientUuid(0), 0).items);
    std::size_t serial = 0;
    const auto typical = [&](std::size_t senders) {
      std::vector<std::vector<BenchReport>> per_sender(senders);
      for (std::size_t s = 0; s < senders; ++s) {
        for (std::size_t i = 0; i < per_level / senders; ++i) {
          per_sender[s].push_back(TypicalReport(ClientUuid(s + 1), ++serial));
        }
      }
      return per_sender;
    };
    // The store's own rate, for the same rows, in groups of the service's
    // mean, on a fresh store of the same kind.
    const auto store_rate = [&](const std::string& name,
                                const std::vector<std::vector<BenchReport>>& per_sender,
                                const LevelResult& result) {
      std::vector<FoldedUpload> uploads;
      for (const auto& reports : per_sender) {
        for (const BenchReport& report : reports) uploads.push_back(Folded(report));
      }
      const RowStore row(work, base_url, name);
      std::string error;
      auto store = OpenStore(row.url(), &error);
      if (!store) throw std::runtime_error(error);
      const auto group = static_cast<std::size_t>(std::max(1L, std::lround(result.mean_group)));
      const StoreRate rate = MeasureStoreRate(*store, uploads, group, 1765000000);
      std::printf(
          "  store's own rate, groups of %zu: %8.1f uploads/s, %10.0f items/s;"
          " the service reaches %.2f of it\n",
          group, rate.UploadsPerSecond(), rate.ItemsPerSecond(),
          result.uploads / result.seconds / rate.UploadsPerSecond());
    };
    // UPLOADS_PER_LEVEL 0 runs the full-size report alone.
    for (const std::size_t senders : {1, 4, 16}) {
      if (per_level == 0) break;
      const auto per_sender = typical(senders);
      const std::string name = "typical-" + std::to_string(senders);
      LevelResult result;
      {
        const RowStore row(work, base_url, name);
        result = RunLevel(program, {row.folder()}, row.url(), per_sender);
        Print("typical", senders, result);
        row.PrintStored(per_sender);
      }
      store_rate(name + "-rate", per_sender, result);
    }
    if (per_level != 0 && !base_url.empty()) {
      // Two nodes on one database, 8 senders each.
      const auto per_sender = typical(16);
      LevelResult result;
      {
        const RowStore row(work, base_url, "two-nodes");
        result = RunLevel(
            program, {FreshFolder(row.folder(), "node-1"), FreshFolder(row.folder(), "node-2")},
            row.url(), per_sender);
        Print("two nodes", 16, result);
        row.PrintStored(per_sender);
      }
      store_rate("two-nodes-rate", per_sender, result);
    }
    std::vector<std::vector<BenchReport>> full(1);
    for (std::size_t i = 0; i < 3; ++i) full[0].push_back(FullSizeReport(ClientUuid(99), i));
    std::printf("full-size report: %zu bytes, %zu items\n", full[0][0].body.size(),
                full[0][0].items);
    {
      // Where a full-size upload's time goes, in this process: the contract,
      // the fold, and the store's commit of it alone.
      const BenchReport& report = full[0][0];
      const auto t0 = Clock::now();
      auto read =
          ReadUpload({"application/xml; charset=utf-8", report.key, report.client}, report.body);
      const auto t1 = Clock::now();
      const FoldedUpload folded = Fold(std::move(std::get<Upload>(read)));
      const auto t2 = Clock::now();
      const RowStore row(work, base_url, "full-size-store");
      std::string error;
      auto store = OpenStore(row.url(), &error);
      if (!store) throw std::runtime_error(error);
      const StoreRate rate = MeasureStoreRate(*store, {folded}, 1, 1765000000);
      const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
      std::printf("full-size in one process: parse %.0f ms, fold %.0f ms, store's commit %.0f ms\n",
                  ms(t1 - t0), ms(t2 - t1), rate.seconds * 1000);
    }
    {
      const RowStore row(work, base_url, "full-size");
      const LevelResult result = RunLevel(program, {row.folder()}, row.url(), full);
      Print("full-size", 1, result);
      row.PrintStored(full);
    }
    std::printf(
        "peak memory bound for one full-size body in flight: 64 MiB + 4 x %.1f MiB ="
        " %.1f MiB\n",
        full[0][0].body.size() / 1048576.0, 64 + 4 * full[0][0].body.size() / 1048576.0);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "intake_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
