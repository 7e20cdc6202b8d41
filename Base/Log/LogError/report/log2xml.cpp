// Reading and folding of the pending log file.
#include "log2xml.h"

#include <shlwapi.h>

#include "Win/unique_resource.h"
#include "committed_bytes.h"
#include "format/log_format.h"
#include "log_parse.h"
#include "utility/crt_operations.h"

namespace suite {

CLog2XML::~CLog2XML() { ReleaseData(); }

bool CLog2XML::LoadLogFile() {
  FillText260(m_strLogFile, [](wchar_t* buffer) {
    GetDataFilePath(L"error.bf", buffer, kCrtPathCapacity, kCrtDataFolder, 0, 0);
  });
  if (!PathFileExistsW(m_strLogFile.c_str())) return false;
  return ReadLogFile(m_strLogFile.c_str());
}

bool CLog2XML::ReadLogFile(const wchar_t* pszPath) {
  if (m_pFileData) return false;  // loaded at most once; the first tree stays
  UniqueFileHandle file = UniqueFileHandle::Adopt(
      CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  LARGE_INTEGER size;
  // One read takes at most a DWORD; the roll-over keeps the file far below.
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kLogReadableBytes) return false;
  // Opened, the file cannot change: an append holds it alone while it runs.
  const auto nSize = static_cast<DWORD>(CommittedBytes(pszPath, size.QuadPart));
  // The buffer belongs to the object from here on, whatever the read does.
  m_pFileData.reset(new std::uint8_t[nSize == 0 ? 1 : nSize]);
  m_nFileDataBytes = 0;
  DWORD nRead = 0;
  if (!ReadFile(file.get(), m_pFileData.get(), nSize, &nRead, nullptr)) return false;
  m_nFileDataBytes = nRead;
  return ParseLogData(m_pFileData.get(), nRead);
}

bool CLog2XML::ParseLogData(const std::uint8_t* pData, std::size_t nBytes) {
  return ParseLogRecords(pData, nBytes, m_vecProducts);
}

void CLog2XML::ReleaseData() {
  // The tree borrows its texts from the buffer: it goes first.
  m_vecProducts.clear();
  m_pFileData.reset();
  m_nFileDataBytes = 0;
}

}  // namespace suite
