#include "size_watch.h"

namespace stress {

SizeWatch::SizeWatch(std::wstring path, std::int64_t nBound, DWORD nIntervalMs)
    : path_(std::move(path)), nBound_(nBound) {
  thread_ = std::thread([this, nIntervalMs] {
    while (!stop_) {
      Sample();
      Sleep(nIntervalMs);
    }
  });
}

void SizeWatch::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  thread_.join();
  Sample();
}

void SizeWatch::Sample() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  // A file not there yet, or moved away, has no size to check.
  if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) return;
  const std::int64_t nSize =
      (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  ++nSamples_;
  if (nSize > nLargest_) nLargest_ = nSize;
  if (nSize > nBound_) ++nOver_;
}

}  // namespace stress
