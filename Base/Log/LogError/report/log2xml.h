// CLog2XML: reads the pending log file once, folds its records into the
// product / application / module / item tree, and writes that tree as XML
// report documents through the MSXML DOM.
//
// One thread at a time. Loaded at most once: an owner that needs fresh data
// creates a new object. Operations return true or false as internal
// operations do, and may throw std::bad_alloc or HresultError (failures of
// string storage); the COM methods' barrier turns those into results.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "log_tree.h"

namespace suite {

class CLog2XML {
 public:
  CLog2XML() = default;
  CLog2XML(const CLog2XML&) = delete;
  CLog2XML& operator=(const CLog2XML&) = delete;
  virtual ~CLog2XML();

  // Locates "error.bf" in the data folder (m_strLogFile is set even when it is
  // missing) and reads it. True when it was read and is a log of this format
  // (see ParseLogRecords): damaged spans are skipped, and every whole record
  // around them is folded and reported. FileData() holds every byte read,
  // damage included.
  bool LoadLogFile();
  bool ReadLogFile(const wchar_t* pszPath);
  bool ParseLogData(const std::uint8_t* pData, std::size_t nBytes);

  // Text mode (pszReportPath null): *pbstrXml receives every document's text,
  // each followed by "\r\n"; untouched on failure. File mode: one file per
  // product version, named from the report path; pszReportPath is writable.
  // False when there is nothing to report or any part of a document failed.
  bool BuildXml(BSTR* pbstrXml, wchar_t* pszReportPath);
  // Forms the report path from the folder (null: the data folder) into
  // strReportPath and builds in file mode.
  bool SaveXmlReport(const wchar_t* pszFolder, std::wstring& strReportPath);

  // The bytes this object read, for removing exactly what was reported.
  const std::uint8_t* FileData() const { return m_pFileData.get(); }
  std::size_t FileDataBytes() const { return m_nFileDataBytes; }

  std::wstring m_strLogFile;
  ProductList m_vecProducts;

 private:
  void ReleaseData();

  std::unique_ptr<std::uint8_t[]> m_pFileData;
  std::size_t m_nFileDataBytes = 0;
};

}  // namespace suite
