#include "size_watch.h"

namespace stress {

SizeWatch::SizeWatch(std::wstring path, std::int64_t nBound, DWORD nIntervalMs)
    : m_path(std::move(path)), m_nBound(nBound) {
  m_thread = std::thread([this, nIntervalMs] {
    while (!m_stop) {
      Sample();
      Sleep(nIntervalMs);
    }
  });
}

void SizeWatch::Stop() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_thread.join();
  Sample();
}

void SizeWatch::Sample() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  // A file not there yet, or moved away, has no size to check.
  if (!GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data)) return;
  const std::int64_t nSize =
      (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  ++m_nSamples;
  if (nSize > m_nLargest) m_nLargest = nSize;
  if (nSize > m_nBound) ++m_nOver;
}

}  // namespace stress
