// report-intake: the command line, the store, the server, and the one thread
// that waits for a stop signal and prunes once a day.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "app/options.h"
#include "http/read_api.h"
#include "http/server.h"
#include "http/upload_handler.h"
#include "store/group_commit.h"
#include "store/store.h"

namespace {

using intake::UnixSeconds;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr auto kPruneEvery = std::chrono::hours(24);

UnixSeconds Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void Prune(intake::Store& store, std::uint32_t keep_days) {
  if (!store.Prune(Now(), keep_days)) {
    std::fprintf(stderr, "report-intake: pruning the store failed; trying again tomorrow\n");
  }
}

int Serve(const intake::ServeOptions& options) {
  intake::TokenSet tokens;
  if (options.token_file) {
    std::ifstream file(*options.token_file);
    std::stringstream text;
    text << file.rdbuf();
    if (!file) {
      std::fprintf(stderr, "report-intake: cannot read the token file %s\n",
                   options.token_file->c_str());
      return kExitUsage;
    }
    tokens = intake::TokenSet::FromText(text.str());
  }
  std::string error;
  std::unique_ptr<intake::Store> store = intake::OpenStore(options.store_url, &error);
  if (!store) {
    std::fprintf(stderr, "report-intake: %s\n", error.c_str());
    return kExitFailure;
  }
  Prune(*store, options.keep_days);

  // The stop signals are taken by one thread with sigwait; every other thread,
  // made after this, has them blocked.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  intake::GroupCommitOptions commit_options;
  commit_options.limit.uploads_per_client_per_hour = options.uploads_per_client_per_hour;
  intake::GroupCommitter committer(*store, commit_options);
  intake::UploadHandler uploads(committer, options.keep_user_paths);
  intake::ReadApi reads(*store, std::move(tokens));
  intake::Server server(options.server, uploads, reads);
  if (!server.Listen(&error)) {
    std::fprintf(stderr, "report-intake: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("listening on %s\n", server.Url().c_str());
  std::fflush(stdout);

  std::thread waiter([&] {
    const timespec day{std::chrono::duration_cast<std::chrono::seconds>(kPruneEvery).count(), 0};
    for (;;) {
      const int signal = sigtimedwait(&signals, nullptr, &day);
      if (signal == SIGTERM || signal == SIGINT) break;
      if (signal < 0 && errno == EAGAIN) Prune(*store, options.keep_days);
    }
    std::fprintf(stderr, "report-intake: stopping: finishing the requests in flight\n");
    server.Stop();
  });
  server.Run();
  waiter.join();
  committer.Stop();
  const intake::GroupCommitStats stats = committer.Stats();
  std::fprintf(
      stderr, "report-intake: stopped; %llu uploads committed in %llu groups (mean group %.2f)\n",
      static_cast<unsigned long long>(stats.uploads), static_cast<unsigned long long>(stats.groups),
      stats.groups ? static_cast<double>(stats.uploads) / stats.groups : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // glibc gives each thread that allocates an arena of its own; with a
  // worker pool that parses large bodies, the arenas' high-water marks add
  // up far beyond the bodies in flight. Two arenas keep the peak near the
  // memory the requests really hold.
  mallopt(M_ARENA_MAX, 2);
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const intake::ParsedCommandLine parsed = intake::ParseCommandLine(args);
    switch (parsed.action) {
      case intake::ParsedCommandLine::Action::kHelp:
        std::cout << intake::HelpText() << std::flush;
        return 0;
      case intake::ParsedCommandLine::Action::kUsageError:
        std::fprintf(stderr, "report-intake: %s (see report-intake --help)\n",
                     parsed.error.c_str());
        return kExitUsage;
      case intake::ParsedCommandLine::Action::kServe:
        return Serve(parsed.options);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "report-intake: %s\n", error.what());
  }
  return kExitFailure;
}
