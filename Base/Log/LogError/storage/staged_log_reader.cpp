#include "staged_log_reader.h"

#include <new>

namespace suite {

bool StagedLogReader::Open(const wchar_t* pszPath, LONGLONG nMaxBytes) noexcept {
  Close();
  if (!m_buffer) m_buffer.reset(new (std::nothrow) std::uint8_t[kStagedReadBytes]);
  m_file = OpenLogFile(pszPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  LONGLONG nSize = 0;
  if (!m_buffer || !m_file || !FileSizeOf(m_file.get(), nSize) || nSize < 0 || nSize > nMaxBytes) {
    Close();
    return false;
  }
  m_nSize = static_cast<std::uint64_t>(nSize);
  m_nPosition = 0;
  return true;
}

void StagedLogReader::Close() noexcept {
  m_file.reset();
  m_nSize = 0;
  m_nPosition = kUnknownPosition;
}

const std::uint8_t* StagedLogReader::ReadAt(std::uint64_t nOffset, std::size_t nBytes) noexcept {
  if (!m_file || nBytes > kStagedReadBytes || nOffset > m_nSize || nBytes > m_nSize - nOffset) {
    return nullptr;
  }
  // Reads in order need no seek between them.
  const bool bAt = nOffset == m_nPosition || SeekTo(m_file.get(), static_cast<LONGLONG>(nOffset));
  m_nPosition = kUnknownPosition;
  if (!bAt || !ReadExactly(m_file.get(), m_buffer.get(), nBytes)) return nullptr;
  m_nPosition = nOffset + nBytes;
  return m_buffer.get();
}

bool StagedLogReader::ReadWhole(FileBytes& out) noexcept {
  m_nPosition = kUnknownPosition;
  return m_file && ReadWholeFile(m_file.get(), static_cast<LONGLONG>(m_nSize), out);
}

bool StagedLogReader::CopyTo(HANDLE hTarget, std::uint64_t nOffset, std::uint64_t nBytes) noexcept {
  while (nBytes > 0) {
    const std::size_t nPiece =
        nBytes < kStagedReadBytes ? static_cast<std::size_t>(nBytes) : kStagedReadBytes;
    const std::uint8_t* pPiece = ReadAt(nOffset, nPiece);
    if (pPiece == nullptr || !WriteExactly(hTarget, pPiece, nPiece)) return false;
    nOffset += nPiece;
    nBytes -= nPiece;
  }
  return true;
}

}  // namespace suite
