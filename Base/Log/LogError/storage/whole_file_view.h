// A whole log file held for reading, for as long as the view lives: open and
// shared for reading only, so that no one changes it meanwhile. On a local
// fixed disk its bytes are the file's own pages, mapped, and nothing is
// copied; elsewhere they are read into a block, because a mapped page that
// cannot be read (a share gone from the network) faults the process where a
// read only fails.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "Win/unique_resource.h"
#include "log_file_io.h"

namespace suite {

class WholeFileView {
 public:
  // False, and empty, when the file cannot be opened, holds more than
  // `nMaxBytes`, or cannot be mapped or read.
  bool Open(const wchar_t* pszPath, LONGLONG nMaxBytes) noexcept;
  // Lets the file go: it can be deleted only after this.
  void Close() noexcept;

  // 2-byte aligned, as the record walk needs: a view starts on a page, a
  // block as new[] gives it.
  const std::uint8_t* data() const noexcept { return m_pData; }
  std::size_t size() const noexcept { return m_nSize; }
  bool mapped() const noexcept { return m_view.valid(); }

 private:
  UniqueFileHandle m_file;
  UniqueMappedView m_view;
  FileBytes m_block;
  const std::uint8_t* m_pData = nullptr;
  std::size_t m_nSize = 0;
};

}  // namespace suite
