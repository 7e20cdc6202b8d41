#include "whole_file_view.h"

#include <iterator>

#include "file_io_platform.h"

namespace suite {

namespace {

bool IsOnLocalFixedDisk(const wchar_t* pszPath) noexcept {
  wchar_t volume[kCrtPathCapacity + 16] = {};
  return GetVolumePathNameW(pszPath, volume, static_cast<DWORD>(std::size(volume))) &&
         GetDriveTypeW(volume) == DRIVE_FIXED;
}

}  // namespace

bool WholeFileView::Open(const wchar_t* pszPath, LONGLONG nMaxBytes) noexcept {
  Close();
  m_file = OpenLogFile(pszPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  LONGLONG nSize = 0;
  if (!m_file || !FileSizeOf(m_file.get(), nSize) || nSize < 0 || nSize > nMaxBytes ||
      static_cast<ULONGLONG>(nSize) > SIZE_MAX) {
    Close();
    return false;
  }
  // An empty file has nothing to map.
  if (nSize > 0 && IsOnLocalFixedDisk(pszPath)) {
    m_view.reset(IoMapForReading(m_file.get()));
    m_pData = static_cast<const std::uint8_t*>(m_view.get());
  } else if (ReadWholeFile(m_file.get(), nMaxBytes, m_block)) {
    m_pData = m_block.data.get();
  }
  if (m_pData == nullptr) {
    Close();
    return false;
  }
  m_nSize = static_cast<std::size_t>(nSize);
  return true;
}

void WholeFileView::Close() noexcept {
  m_view.reset();
  m_block = {};
  m_file.reset();
  m_pData = nullptr;
  m_nSize = 0;
}

}  // namespace suite
