// Samples the size of a file on disk from a thread of its own while writers
// run, to show that the file never grew past its bound, not even for a
// moment between two of their calls. Reads the size by name, so that it never
// holds a handle in a writer's or a roll-over's way.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace stress {

class SizeWatch {
 public:
  SizeWatch(std::wstring path, std::int64_t nBound, DWORD nIntervalMs);
  SizeWatch(const SizeWatch&) = delete;
  SizeWatch& operator=(const SizeWatch&) = delete;
  ~SizeWatch() { Stop(); }

  // Takes one last sample, then ends the thread.
  void Stop();

  std::int64_t largest() const { return m_nLargest; }
  std::int64_t samples() const { return m_nSamples; }
  std::int64_t overBound() const { return m_nOver; }  // samples past the bound

 private:
  void Sample();

  const std::wstring m_path;
  const std::int64_t m_nBound;
  std::atomic<bool> m_stop{false};
  std::atomic<std::int64_t> m_nLargest{0};
  std::atomic<std::int64_t> m_nSamples{0};
  std::atomic<std::int64_t> m_nOver{0};
  std::thread m_thread;
};

}  // namespace stress
