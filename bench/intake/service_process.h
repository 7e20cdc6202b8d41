// report-intake as a child process of the benchmark: started on a free port
// of 127.0.0.1 with a fresh store (SQLite in its folder, or the URL it is
// given), its peak memory read while it runs, and its exit summary (the mean
// group size) read after SIGTERM. Its log goes in its folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace intake::bench {

class ServiceProcess {
 public:
  // Throws std::runtime_error when the program does not start. An empty
  // `store_url` is a SQLite store in `folder`.
  ServiceProcess(const std::string& program, const std::string& folder,
                 const std::string& store_url = "");
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  std::uint16_t port() const { return m_port; }
  // VmHWM of the process, in KiB.
  std::uint64_t PeakMemoryKiB() const;
  // SIGTERM, wait, and the mean group size from its last line (0 if none).
  double StopAndReadMeanGroup();

 private:
  pid_t m_pid = -1;
  std::uint16_t m_port = 0;
  std::string m_log;
};

}  // namespace intake::bench
