// The intake's benchmark: uploads/s, items/s and the latency of one upload
// at 1, 4 and 16 concurrent senders over loopback, the service's mean group
// size, its peak memory, and beside them the store's own rate for the same
// rows (a plain CommitGroup loop, as many uploads per transaction as the
// service's mean group, the same durability). Figures go on
// docs/performance.md.
//
// usage: intake_bench REPORT_INTAKE WORK_DIR [UPLOADS_PER_LEVEL]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

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

// Each sender sends its own reports, one after another, on one connection.
LevelResult RunLevel(const std::string& program, const std::string& folder,
                     const std::vector<std::vector<BenchReport>>& per_sender) {
  ServiceProcess service(program, folder);
  std::vector<std::vector<double>> latencies(per_sender.size());
  std::vector<std::size_t> failed(per_sender.size());
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (std::size_t s = 0; s < per_sender.size(); ++s) {
    threads.emplace_back([&, s] {
      HttpSender sender("127.0.0.1", service.port());
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
  result.peak_kib = service.PeakMemoryKiB();
  result.mean_group = service.StopAndReadMeanGroup();
  return result;
}

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
  if (argc < 3) {
    std::fprintf(stderr, "usage: intake_bench REPORT_INTAKE WORK_DIR [UPLOADS_PER_LEVEL]\n");
    return 2;
  }
  const std::string program = argv[1];
  const std::string work = argv[2];
  const std::size_t per_level = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 4000;
  try {
    std::printf("report-intake benchmark: typical report %zu bytes, %zu items\n",
                TypicalReport(ClientUuid(0), 0).body.size(), TypicalReport(ClientUuid(0), 0).items);
    double mean_group_16 = 1;
    std::size_t serial = 0;
    // UPLOADS_PER_LEVEL 0 runs the full-size report alone.
    for (const std::size_t senders : {1, 4, 16}) {
      if (per_level == 0) break;
      std::vector<std::vector<BenchReport>> per_sender(senders);
      for (std::size_t s = 0; s < senders; ++s) {
        for (std::size_t i = 0; i < per_level / senders; ++i) {
          per_sender[s].push_back(TypicalReport(ClientUuid(s + 1), ++serial));
        }
      }
      const LevelResult result =
          RunLevel(program, FreshFolder(work, "typical-" + std::to_string(senders)), per_sender);
      Print("typical", senders, result);
      if (senders == 16) mean_group_16 = std::max(1.0, result.mean_group);
      if (senders == 16) {
        // The store's own rate, for the same rows, in groups of the service's mean.
        std::vector<FoldedUpload> uploads;
        for (const auto& reports : per_sender) {
          for (const BenchReport& report : reports) uploads.push_back(Folded(report));
        }
        std::string error;
        const std::string folder = FreshFolder(work, "store-rate");
        auto store = OpenStore("sqlite:" + folder + "/intake.db", &error);
        if (!store) throw std::runtime_error(error);
        const auto group = static_cast<std::size_t>(std::lround(mean_group_16));
        const StoreRate rate = MeasureStoreRate(*store, uploads, group, 1765000000);
        const double service_rate = result.uploads / result.seconds;
        std::printf(
            "store's own rate, groups of %zu: %8.1f uploads/s, %10.0f items/s;"
            " the service at 16 senders reaches %.2f of it\n",
            group, rate.UploadsPerSecond(), rate.ItemsPerSecond(),
            service_rate / rate.UploadsPerSecond());
      }
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
      std::string error;
      auto store =
          OpenStore("sqlite:" + FreshFolder(work, "full-size-store") + "/intake.db", &error);
      if (!store) throw std::runtime_error(error);
      const StoreRate rate = MeasureStoreRate(*store, {folded}, 1, 1765000000);
      const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
      std::printf("full-size in one process: parse %.0f ms, fold %.0f ms, store's commit %.0f ms\n",
                  ms(t1 - t0), ms(t2 - t1), rate.seconds * 1000);
    }
    const LevelResult result = RunLevel(program, FreshFolder(work, "full-size"), full);
    Print("full-size", 1, result);
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
