#include "service_process.h"

#include <signal.h>
#include <unistd.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace intake::bench {

ServiceProcess::ServiceProcess(const std::string& program, const std::string& folder,
                               const std::string& store_url)
    : m_log(folder + "/service.log") {
  const std::string store = store_url.empty() ? "sqlite:" + folder + "/intake.db" : store_url;
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  m_pid = ::fork();
  if (m_pid == 0) {
    ::dup2(out[1], 1);
    std::freopen(m_log.c_str(), "w", stderr);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(program.c_str(), program.c_str(), "serve", "--listen", "127.0.0.1:0", "--store",
            store.c_str(), "--uploads-per-client-per-hour", "4000000000", nullptr);
    std::_Exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  const auto colon = line.rfind(':');
  if (m_pid < 0 || !line.starts_with("listening on ") || colon == std::string::npos) {
    // The destructor does not run for a constructor that throws.
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    throw std::runtime_error("report-intake did not start: " + line);
  }
  m_port = static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1));
}

ServiceProcess::~ServiceProcess() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
}

std::uint64_t ServiceProcess::PeakMemoryKiB() const {
  std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
  std::string name;
  while (status >> name) {
    if (name == "VmHWM:") {
      std::uint64_t kib = 0;
      status >> kib;
      return kib;
    }
    std::getline(status, name);
  }
  return 0;
}

double ServiceProcess::StopAndReadMeanGroup() {
  ::kill(m_pid, SIGTERM);
  ::waitpid(m_pid, nullptr, 0);
  m_pid = -1;
  std::ifstream log(m_log);
  std::string line;
  double mean = 0;
  while (std::getline(log, line)) {
    const auto at = line.find("(mean group ");
    if (at != std::string::npos) mean = std::atof(line.c_str() + at + 12);
  }
  return mean;
}

}  // namespace intake::bench
