// The HTTP face of the service: a fixed pool of io threads serves every
// connection (a waiting connection holds none), and a pool of workers reads,
// folds and commits the uploads and answers the reads. Run() blocks until
// Stop() drained it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace intake {

class ReadApi;
class UploadHandler;

struct ServerOptions {
  std::string address = "127.0.0.1";
  std::uint16_t port = 8080;  // 0: a free port
  std::uint64_t max_body_bytes = 80ull << 20;
  std::uint64_t max_inflight_bytes = 256ull << 20;
  std::chrono::seconds idle_timeout{30};
  // Beyond this, connections wait in the kernel's queue until one closes.
  std::size_t max_connections = 256;
  unsigned io_threads = 2;
  // Workers block in parsing and in the group commit; as many as may share
  // one commit.
  unsigned worker_threads = 32;
};

class Server {
 public:
  Server(const ServerOptions& options, UploadHandler& uploads, ReadApi& reads);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens; false with a one-line reason in *error.
  bool Listen(std::string* error);
  // "http://ADDR:PORT" of the bound socket.
  std::string Url() const;
  // Serves until Stop(): then stops accepting, finishes the requests in
  // flight and returns.
  void Run();
  // Thread-safe; may be called before or during Run().
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace intake
