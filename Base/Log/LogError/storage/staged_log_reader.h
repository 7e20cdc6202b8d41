// A log file held for reading, for as long as the reader lives: open and
// shared for reading only, so that no one changes or removes it meanwhile.
// Its bytes are read with ReadFile, piece by piece, into one buffer of
// kStagedReadBytes that every read reuses: a file is never mapped, because a
// mapped page that cannot be read (a failing disk, a share gone from the
// network) faults the process inside the loader lock where a read fails.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Win/unique_resource.h"
#include "log_file_io.h"

namespace suite {

inline constexpr std::size_t kStagedReadBytes = 1024 * 1024;

class StagedLogReader {
 public:
  // False, and closed, when the file cannot be opened or sized, holds more
  // than `nMaxBytes`, or the buffer cannot be had.
  bool Open(const wchar_t* pszPath, LONGLONG nMaxBytes) noexcept;
  // Lets the file go: it can be deleted only after this.
  void Close() noexcept;

  bool opened() const noexcept { return m_file.valid(); }
  std::uint64_t size() const noexcept { return m_nSize; }

  // The `nBytes` (at most kStagedReadBytes) at `nOffset`, in the buffer,
  // 2-byte aligned; valid until the next read. Null when they cannot be
  // read whole.
  const std::uint8_t* ReadAt(std::uint64_t nOffset, std::size_t nBytes) noexcept;

  // The whole file, in a block of its own, for what must walk all of it.
  bool ReadWhole(FileBytes& out) noexcept;

  // Writes the `nBytes` at `nOffset` to `hTarget`, in order, a buffer at a
  // time. False when a read or a write failed or came up short.
  bool CopyTo(HANDLE hTarget, std::uint64_t nOffset, std::uint64_t nBytes) noexcept;

 private:
  UniqueFileHandle m_file;
  std::unique_ptr<std::uint8_t[]> m_buffer;
  static constexpr std::uint64_t kUnknownPosition = ~std::uint64_t{0};
  std::uint64_t m_nSize = 0;
  std::uint64_t m_nPosition = kUnknownPosition;
};

}  // namespace suite
