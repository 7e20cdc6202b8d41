// The on-disk layout shared by the writers (capture) and the reader (report).
// Platform-neutral on purpose: the record walk builds natively under the
// sanitizers and the fuzzer, so nothing here may include <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace suite {

enum class RecordKind : std::uint32_t {
  Error = 1,
  Warning = 2,
  Exception = 3,
};

inline constexpr std::uint32_t kLogFileMagic = 0x5252452E;  // ".ERR" read little-endian
inline constexpr std::uint32_t kLogFileVersion = 1;
inline constexpr std::uint32_t kLogFileRevision = 1;
inline constexpr std::uint32_t kLogRecordHeaderSize = 248;
inline constexpr std::uint32_t kLogRecordFormatTag = 4;
inline constexpr std::size_t kLogTextFieldChars = 32;
inline constexpr std::int64_t kLogRolloverCap = 26214400;  // 25 MiB, inclusive
// The most a log file may hold to be read in one block: one read call takes
// at most 2^31 - 1 bytes. Far above the cap, so only files that some other
// program grew come near it.
inline constexpr std::int64_t kLogReadableBytes = 0x7FFFFFFF;

// Default codes stored when a caller passes 0.
inline constexpr std::int32_t kDefaultWarningCode = 10000;
inline constexpr std::int32_t kDefaultErrorCode = 20000;
inline constexpr std::int32_t kDefaultExceptionCode = 30000;

struct LogFileHeader {
  std::uint32_t Magic;
  std::uint32_t Version;
  std::uint32_t Revision;
};
static_assert(sizeof(LogFileHeader) == 12);
static_assert(offsetof(LogFileHeader, Magic) == 0);
static_assert(offsetof(LogFileHeader, Version) == 4);
static_assert(offsetof(LogFileHeader, Revision) == 8);

inline constexpr LogFileHeader kLogFileHeader = {kLogFileMagic, kLogFileVersion, kLogFileRevision};
inline constexpr std::size_t kLogFileHeaderBytes = sizeof(LogFileHeader);

// Same field order and size as the platform's SYSTEMTIME.
struct LogTime {
  std::uint16_t Year;
  std::uint16_t Month;
  std::uint16_t DayOfWeek;
  std::uint16_t Day;
  std::uint16_t Hour;
  std::uint16_t Minute;
  std::uint16_t Second;
  std::uint16_t Milliseconds;
};
static_assert(sizeof(LogTime) == 16);

// Text fields are UTF-16LE. char16_t keeps this header the same on every
// platform; on Windows it has the size and representation of wchar_t.
struct LogRecordHeader {
  std::uint32_t HeaderSize;
  std::uint32_t FormatTag;
  std::uint32_t Kind;
  std::uint32_t Reserved;
  std::int32_t ErrorCode;
  std::uint32_t StringBytes;
  std::uint32_t AppNameBytes;
  std::uint32_t ModuleNameBytes;
  std::uint32_t MessageBytes;
  std::uint32_t ValueBytes;
  char16_t ProductVersion[kLogTextFieldChars];
  char16_t AppVersion[kLogTextFieldChars];
  char16_t ModuleVersion[kLogTextFieldChars];
  LogTime Time;
};
static_assert(sizeof(LogRecordHeader) == kLogRecordHeaderSize);
static_assert(offsetof(LogRecordHeader, HeaderSize) == 0);
static_assert(offsetof(LogRecordHeader, FormatTag) == 4);
static_assert(offsetof(LogRecordHeader, Kind) == 8);
static_assert(offsetof(LogRecordHeader, Reserved) == 12);
static_assert(offsetof(LogRecordHeader, ErrorCode) == 16);
static_assert(offsetof(LogRecordHeader, StringBytes) == 20);
static_assert(offsetof(LogRecordHeader, AppNameBytes) == 24);
static_assert(offsetof(LogRecordHeader, ModuleNameBytes) == 28);
static_assert(offsetof(LogRecordHeader, MessageBytes) == 32);
static_assert(offsetof(LogRecordHeader, ValueBytes) == 36);
static_assert(offsetof(LogRecordHeader, ProductVersion) == 40);
static_assert(offsetof(LogRecordHeader, AppVersion) == 104);
static_assert(offsetof(LogRecordHeader, ModuleVersion) == 168);
static_assert(offsetof(LogRecordHeader, Time) == 232);

}  // namespace suite
