// The records the stress programs log. Each message names its writer process,
// thread and sequence number ("w<process>-t<thread>-<n>"), so a record found
// in a report or a file says whose call it was; its kind, code and value
// follow from those three, so a record that comes back altered shows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace stress {

struct RecordKey {
  std::uint32_t nProcess = 0;
  std::uint32_t nThread = 0;
  std::uint32_t nIndex = 0;

  std::uint64_t Packed() const {
    return (std::uint64_t{nProcess} << 40) | (std::uint64_t{nThread} << 32) | nIndex;
  }
};

std::wstring MessageOf(const RecordKey& key);
// Nothing for a text that no stress writer logs.
std::optional<RecordKey> ParseMessage(std::wstring_view message);

// 1 Error, 2 Warning, 3 Exception: the writers call LogError, LogWarning and
// LogException in turn.
std::uint32_t KindOf(const RecordKey& key);
// Never 0, so that no default code stands in for it.
std::int32_t CodeOf(const RecordKey& key);
// Some records go without a value and some with an empty one; the rest vary
// in length, so that records differ in size. Writers numbered from
// kLongValueWriters on log values of 400 to 600 kB, their message repeated,
// so that each record's value is its own.
inline constexpr std::uint32_t kLongValueWriters = 1000;
inline constexpr std::size_t kLongValueMinChars = 200000;
inline constexpr std::size_t kLongValueSpanChars = 100000;
std::optional<std::wstring> ValueOf(const RecordKey& key);

}  // namespace stress
